// A stand-in for a file manager: a small window that starts a drag of the
// files named on its command line when a mouse button goes down on it,
// offering them as file URLs (and as text) for copying. After each drag it
// prints how the drag ended: "copied" when the target took it, "refused"
// otherwise. The end-to-end tests drop its files on the program.
//
//   drag_source FILE...

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class DragSource : public QWidget
{
public:
    explicit DragSource(QList<QUrl> urls) : m_urls(std::move(urls))
    {
        setWindowTitle(QStringLiteral("Drag Source"));
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        QStringList names;
        for (const QUrl &url : m_urls)
            names << url.toLocalFile();
        auto *data = new QMimeData;
        data->setUrls(m_urls);
        data->setText(names.join(QLatin1Char('\n')));
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("%s\n", action == Qt::CopyAction ? "copied" : "refused");
        std::fflush(stdout);
    }

private:
    QList<QUrl> m_urls;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString &name : QApplication::arguments().mid(1))
        urls << QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath());
    DragSource window(urls);
    // In the screen's bottom-right corner, clear of the program's windows,
    // which open at the top left where there is no window manager.
    window.setGeometry(1100, 880, 160, 120);
    window.show();
    return QApplication::exec();
}
