#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QMimeData;
class QWidget;

// A contact file dragged from the file manager onto the main window, over a
// card field as anywhere else. A drag is taken only when it carries exactly
// one local regular file named .vcf or .vcard, when it may be copied, while
// no modal window is open, and not over the widgets given as refusing (the
// logo box and its hint, which take pictures alone). Any other drag passes
// on to the widget under it, so a field still takes dropped text.
class ContactDrop : public QObject
{
    Q_OBJECT
public:
    ContactDrop(QList<QWidget *> refusing, QObject *parent);

    // Lets `target` take contact files; a field that takes text drops
    // already takes this one instead of pasting its name.
    void watch(QWidget *target);

    // The one contact file `data` names, or empty.
    static QString contactFile(const QMimeData *data);

signals:
    // Sent as the drop is taken, before the drag has ended on the source's
    // side: whoever shows a box in answer should be called queued.
    void dropped(const QString &fileName);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool overRefusing(QObject *watched, QPoint at) const;

    QList<QPointer<QWidget>> m_refusing;
    // The contact file of the drag now over a target, checked once as it
    // entered.
    QString m_offered;
};
