#pragma once

#include <QIODevice>

// The first `length` bytes of another device, read from it only as they
// are asked for: a decoder handed this never reads what follows its picture.
class BoundedDevice : public QIODevice
{
    Q_OBJECT
public:
    BoundedDevice(QIODevice &source, qint64 length, QObject *parent = nullptr);

    // Always unbuffered: the position is then the source's.
    bool open(OpenMode mode) override { return QIODevice::open(mode | Unbuffered); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &m_source;
    qint64 m_length = 0;
};
