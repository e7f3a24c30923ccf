#pragma once

#include <QSize>
#include <QString>
#include <QtGlobal>

class QIODevice;

// Where a JPEG picture ends. Phones append their own data after a photo's
// end-of-image marker (a short video, a maker's block), so the end of the
// file says nothing about the end of the picture: the picture's own markers
// decide.
namespace JpegExtent {

enum class Status {
    Complete, // the end-of-image marker was reached
    Truncated, // the data stops before it
    Damaged, // the data cannot be a picture that ends
    TooLarge, // its frame header declares more pixels than allowed
    TooManyBlocks, // its scans code more blocks than allowed
};

struct Result
{
    Status status = Status::Damaged;
    // Bytes from the start-of-image marker through the end-of-image marker,
    // when complete.
    qint64 length = 0;
    // Why it is not complete, in words for the user.
    QString reason;
    // The size its frame header declares, once one was read.
    QSize size;
    // How many scans it holds, when complete. A picture of more than one is
    // decoded whole before its first row comes out.
    int scans = 0;
};

// Walks the data from the device's current position, which must hold the
// start-of-image marker: each marker segment is skipped by its length (so a
// thumbnail inside one is not taken for the end), and each scan's
// entropy-coded data is searched for the marker after it. Never reads past
// the end-of-image marker, nor more than a picture of the declared size can
// hold, so a huge file of zeros is answered at once. A frame of more than
// `maxPixels` pixels ends the walk there, and so do scans that together code
// more than `maxBlocks` blocks of 8 x 8 samples.
Result measure(QIODevice &device, qint64 maxPixels, qint64 maxBlocks);

} // namespace JpegExtent
