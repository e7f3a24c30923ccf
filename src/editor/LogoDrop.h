#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

// A picture file dragged from the file manager onto the logo box or its
// hint. A drag is taken only when it carries exactly one local regular file
// whose first bytes Qt's image reader knows as a picture, when it may be
// copied, and while no modal window is open; any other drag is refused as
// it enters, so its drop never arrives.
class LogoDrop : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Lets `target` take drags.
    void watch(QWidget *target);

    // The one picture file `data` names, or empty.
    static QString pictureFile(const QMimeData *data);

signals:
    // Sent as the drop is taken, before the drag has ended on the source's
    // side: whoever shows a box in answer should be called queued.
    void dropped(const QString &fileName);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The file of the drag now over a target, checked once as it entered.
    QString m_offered;
};
