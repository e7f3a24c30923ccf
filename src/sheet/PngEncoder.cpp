#include "sheet/PngEncoder.h"

#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <queue>
#include <thread>
#include <utility>
#include <vector>
#include <zlib.h>

namespace PngEncoder {

namespace {

void appendNumber(QByteArray &out, quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    appendNumber(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto *checked = reinterpret_cast<const Bytef *>(out.constData() + start);
    appendNumber(out, quint32(crc32(crc32(0, nullptr, 0), checked, uInt(out.size() - start))));
}

QByteArray header(const QImage &image)
{
    QByteArray data;
    appendNumber(data, quint32(image.width()));
    appendNumber(data, quint32(image.height()));
    // 8 bits a sample, RGB, deflate, adaptive filtering, not interlaced.
    data.append("\x08\x02\x00\x00\x00", 5);
    return data;
}

QByteArray resolution(const QImage &image)
{
    QByteArray data;
    appendNumber(data, quint32(image.dotsPerMeterX()));
    appendNumber(data, quint32(image.dotsPerMeterY()));
    data.append('\x01'); // the unit is the metre
    return data;
}

// One row of the picture under the "up" filter, as 8-bit RGB samples each
// less the one above it (`above` is null for the first row). The four bytes
// of a pixel are taken less those above them at once, each byte on its own.
void filterRow(const QRgb *pixels, const QRgb *above, int width, Bytef *out)
{
    constexpr quint32 high = 0x80808080u;
    for (int x = 0; x < width; ++x, out += 3) {
        const quint32 pixel = pixels[x], up = above ? above[x] : 0u;
        const quint32 difference = ((pixel | high) - (up & ~high)) ^ ((pixel ^ ~up) & high);
        out[0] = Bytef(difference >> 16);
        out[1] = Bytef(difference >> 8);
        out[2] = Bytef(difference);
    }
}

struct Code
{
    quint32 bits = 0;
    int length = 0;
};

constexpr int lengthBase[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int lengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int literalAndLengthSymbols = 286;

// Huffman code lengths for symbols of these counts, none longer than
// `limit`: a Huffman tree, its counts evened out until it is shallow enough.
std::vector<int> codeLengths(std::vector<quint64> counts, int limit)
{
    const int symbols = int(counts.size());
    for (;;) {
        using Node = std::pair<quint64, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
        std::vector<int> parent(size_t(symbols), -1);
        for (int i = 0; i < symbols; ++i)
            if (counts[size_t(i)] > 0)
                queue.push({counts[size_t(i)], i});
        std::vector<int> lengths(size_t(symbols), 0);
        if (queue.size() == 1)
            lengths[size_t(queue.top().second)] = 1;
        while (queue.size() > 1) {
            const Node first = queue.top();
            queue.pop();
            const Node second = queue.top();
            queue.pop();
            parent.push_back(-1);
            parent[size_t(first.second)] = parent[size_t(second.second)] = int(parent.size()) - 1;
            queue.push({first.first + second.first, int(parent.size()) - 1});
        }
        int longest = 0;
        for (int i = 0; i < symbols && parent.size() > size_t(symbols); ++i) {
            for (int node = parent[size_t(i)]; counts[size_t(i)] > 0 && node >= 0; node = parent[size_t(node)])
                ++lengths[size_t(i)];
            longest = qMax(longest, lengths[size_t(i)]);
        }
        if (longest <= limit)
            return lengths;
        for (quint64 &count : counts)
            count = count > 0 ? count / 2 + 1 : 0;
    }
}

// The canonical codes of these lengths, their bits turned round: Huffman
// codes go most significant bit first into a stream that is otherwise
// filled from the low bit.
std::vector<Code> canonicalCodes(const std::vector<int> &lengths)
{
    int perLength[16] = {};
    for (const int length : lengths)
        ++perLength[length];
    perLength[0] = 0;
    quint32 next[16] = {};
    for (int bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = quint32(code);
    }
    std::vector<Code> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int length = lengths[i];
        const quint32 code = length > 0 ? next[length]++ : 0;
        for (int bit = 0; bit < length; ++bit)
            codes[i].bits |= ((code >> bit) & 1) << (length - 1 - bit);
        codes[i].length = length;
    }
    return codes;
}

class BitWriter
{
public:
    explicit BitWriter(QByteArray &out) : m_out(out) {}

    void put(quint32 value, int count)
    {
        m_buffer |= quint64(value) << m_bits;
        m_bits += count;
        if (m_bits >= 32) {
            const char bytes[4] = {char(m_buffer), char(m_buffer >> 8), char(m_buffer >> 16), char(m_buffer >> 24)};
            m_out.append(bytes, 4);
            m_buffer >>= 32;
            m_bits -= 32;
        }
    }
    void put(const Code &code) { put(code.bits, code.length); }

    // Writes the whole bytes; the last bits, short of a byte, are left to
    // the caller: the next block goes on from them.
    void finish(quint32 &leftover, int &leftoverBits)
    {
        for (; m_bits >= 8; m_bits -= 8, m_buffer >>= 8)
            m_out.append(char(m_buffer));
        leftover = quint32(m_buffer);
        leftoverBits = m_bits;
    }

private:
    QByteArray &m_out;
    quint64 m_buffer = 0;
    int m_bits = 0;
};

// The block's code, in the block's header: the length of every literal and
// length symbol's code and of the one distance's, coded in turn.
void writeCodes(BitWriter &writer, const std::vector<int> &literalLengths)
{
    std::vector<int> lengths = literalLengths;
    lengths.push_back(1); // distance 1, the only one
    std::vector<quint64> counts(19, 0);
    for (const int length : lengths)
        ++counts[size_t(length)];
    // A code of one symbol would be incomplete, which this code may not be.
    if (std::count_if(counts.begin(), counts.end(), [](quint64 n) { return n > 0; }) < 2)
        ++counts[counts[0] > 0 ? 1 : 0];
    const std::vector<int> codeLengthLengths = codeLengths(counts, 7);
    const std::vector<Code> codeLengthCodes = canonicalCodes(codeLengthLengths);
    static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int sent = 19;
    while (sent > 4 && codeLengthLengths[size_t(order[sent - 1])] == 0)
        --sent;
    writer.put(literalAndLengthSymbols - 257, 5);
    writer.put(0, 5); // one distance code
    writer.put(quint32(sent - 4), 4);
    for (int i = 0; i < sent; ++i)
        writer.put(quint32(codeLengthLengths[size_t(order[i])]), 3);
    for (const int length : lengths)
        writer.put(codeLengthCodes[size_t(length)]);
}

// One block of a deflate stream, where a run of one byte is that byte once
// and then copies of the byte before. That is all a card's rows need
// (white, black, a rule's grey, rows repeated above), and it takes a
// fraction of the time zlib takes to find the same runs in them.
class RunDeflater
{
public:
    // `expected`: how many symbols to make room for at once.
    explicit RunDeflater(size_t expected) { m_tokens.reserve(expected); }

    void add(const Bytef *data, size_t size)
    {
        for (size_t i = 0; i < size;) {
            const Bytef byte = data[i];
            literal(byte);
            const size_t run = runLength(data + i + 1, size - i - 1, byte);
            copies(run);
            count(byte, 1 + run);
            i += 1 + run;
        }
    }

    quint32 checksum() const { return quint32(m_sum2 << 16 | m_sum1); }

    // Writes the block, under a code made for it.
    void write(BitWriter &writer, bool last)
    {
        m_counts[256] = 1; // end of block
        const std::vector<int> lengths = codeLengths(m_counts, 15);
        const std::vector<Code> codes = canonicalCodes(lengths);
        writer.put(last ? 1 : 0, 1);
        writer.put(2, 2); // a code of its own
        writeCodes(writer, lengths);
        for (const Token &token : m_tokens) {
            writer.put(codes[token.symbol]);
            if (token.symbol > 256) {
                writer.put(token.extra, lengthExtra[token.symbol - 257]);
                writer.put(0, 1); // distance 1
            }
        }
        writer.put(codes[256]);
    }

private:
    struct Token
    {
        quint16 symbol;
        quint16 extra;
    };

    static size_t runLength(const Bytef *data, size_t size, Bytef byte)
    {
        const quint64 pattern = 0x0101010101010101ull * byte;
        size_t n = 0;
        for (; n + 8 <= size; n += 8) {
            const quint64 word = qFromLittleEndian<quint64>(data + n);
            if (word != pattern)
                return n + size_t(qCountTrailingZeroBits(word ^ pattern) / 8);
        }
        while (n < size && data[n] == byte)
            ++n;
        return n;
    }

    // `run` copies of the byte before, as lengths of 3 to 258 at distance 1.
    void copies(size_t run)
    {
        while (run >= 3) {
            // Leave a remainder of 0 or at least 3.
            size_t length = qMin<size_t>(run, 258);
            if (run - length > 0 && run - length < 3)
                length = run - 3;
            int code = 28;
            while (lengthBase[code] > int(length))
                --code;
            m_tokens.push_back({quint16(257 + code), quint16(int(length) - lengthBase[code])});
            ++m_counts[size_t(257 + code)];
            run -= length;
        }
        while (run-- > 0)
            literal(m_lastLiteral);
    }

    // The stream's Adler-32 checksum taken along, a run at a time: for n
    // more bytes c, the first sum grows by n c and the second by n times the
    // first sum before them plus c n (n + 1) / 2.
    void count(Bytef byte, size_t n)
    {
        constexpr quint64 modulus = 65521;
        m_sum2 = (m_sum2 + n * m_sum1 + byte * (n * (n + 1) / 2 % modulus)) % modulus;
        m_sum1 = (m_sum1 + n * byte) % modulus;
    }

    void literal(Bytef byte)
    {
        m_lastLiteral = byte;
        m_tokens.push_back({byte, 0});
        ++m_counts[byte];
    }

    std::vector<Token> m_tokens;
    std::vector<quint64> m_counts = std::vector<quint64>(literalAndLengthSymbols, 0);
    Bytef m_lastLiteral = 0;
    quint64 m_sum1 = 1;
    quint64 m_sum2 = 0;
};

// Rows of the picture as one block of the deflate stream, and their checksum.
struct Block
{
    QByteArray bytes;
    quint32 leftover = 0;
    int leftoverBits = 0;
    uLong checksum = 1;
    qint64 length = 0;
};

// Rows `from` to `to` under the "up" filter: each byte less the one above
// it. A row the card repeats (white margins, the sides of a border) becomes
// one run of zeros; such a row is not even converted.
Block deflateRows(const QImage &rgb, int from, int to, bool last)
{
    const int width = rgb.width();
    std::vector<Bytef> line(size_t(1 + 3 * width));
    line[0] = 2; // up
    RunDeflater deflater(size_t(to - from) * size_t(width) / 8);
    for (int y = from; y < to; ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        const auto *above = y > 0 ? reinterpret_cast<const QRgb *>(rgb.constScanLine(y - 1)) : nullptr;
        if (above && std::memcmp(pixels, above, size_t(width) * sizeof(QRgb)) == 0)
            std::fill(line.begin() + 1, line.end(), Bytef(0));
        else
            filterRow(pixels, above, width, line.data() + 1);
        deflater.add(line.data(), line.size());
    }
    Block block;
    BitWriter writer(block.bytes);
    deflater.write(writer, last);
    writer.finish(block.leftover, block.leftoverBits);
    block.checksum = deflater.checksum();
    block.length = qint64(to - from) * qint64(line.size());
    return block;
}

// Appends a block where the one before it ended, bit for bit.
void appendBlock(QByteArray &out, quint32 &pending, int &pendingBits, const Block &block)
{
    if (pendingBits == 0) {
        out.append(block.bytes);
    } else {
        const qsizetype start = out.size();
        out.resize(start + block.bytes.size());
        char *to = out.data() + start;
        for (const char byte : block.bytes) {
            pending |= quint32(uchar(byte)) << pendingBits;
            *to++ = char(pending);
            pending >>= 8;
        }
    }
    pending |= block.leftover << pendingBits;
    pendingBits += block.leftoverBits;
    if (pendingBits >= 8) {
        out.append(char(pending));
        pending >>= 8;
        pendingBits -= 8;
    }
}

// The two halves of the picture at once, each a block of the same stream.
QByteArray compressedRows(const QImage &rgb)
{
    const int middle = rgb.height() / 2;
    Block lower;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            lower = deflateRows(rgb, middle, rgb.height(), true);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    const Block upper = deflateRows(rgb, 0, middle, false);
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    QByteArray out("\x78\x01", 2); // deflate, 32 KB window, no dictionary
    quint32 pending = 0;
    int pendingBits = 0;
    appendBlock(out, pending, pendingBits, upper);
    appendBlock(out, pending, pendingBits, lower);
    if (pendingBits > 0)
        out.append(char(pending));
    appendNumber(out, quint32(adler32_combine(upper.checksum, lower.checksum, lower.length)));
    return out;
}

} // namespace

QByteArray encode(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    appendChunk(out, "IHDR", header(rgb));
    appendChunk(out, "pHYs", resolution(rgb));
    appendChunk(out, "IDAT", compressedRows(rgb));
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace PngEncoder
