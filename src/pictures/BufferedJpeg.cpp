#include "pictures/BufferedJpeg.h"

#include <QIODevice>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace BufferedJpeg {

namespace {

struct State;

// libjpeg hands its error manager to every callback; this one leads back to
// the State it belongs to.
struct ErrorManager
{
    jpeg_error_mgr manager{};
    State *state = nullptr;
};

// libjpeg reports a failure by calling its error handler, which must not
// return: it jumps back to run(), and nothing with a destructor may live in
// the frames it jumps over. Everything the decoding needs is kept here.
struct State
{
    ErrorManager errors{};
    std::jmp_buf failed{};
    char message[JMSG_LENGTH_MAX] = {};
    QString reason;

    jpeg_source_mgr source{};
    QIODevice *device = nullptr;
    JOCTET buffer[64 * 1024] = {};

    jpeg_decompress_struct input{};
    jpeg_compress_struct cropWriter{};
    jpeg_decompress_struct cropReader{};
    bool inputMade = false;
    bool writerMade = false;
    bool readerMade = false;
    jpeg_destination_mgr destination{};
    JOCTET *crop = nullptr;
    size_t cropCapacity = 0;
    size_t cropSize = 0;
    QRect cropRect;

    QImage whole;
    QImage cropImage;

    ~State()
    {
        if (readerMade)
            jpeg_destroy_decompress(&cropReader);
        if (writerMade)
            jpeg_destroy_compress(&cropWriter);
        if (inputMade)
            jpeg_destroy_decompress(&input);
        std::free(crop);
    }
};

State &stateOf(j_common_ptr info)
{
    return *reinterpret_cast<ErrorManager *>(info->err)->state;
}

State &stateOf(j_decompress_ptr info)
{
    return stateOf(reinterpret_cast<j_common_ptr>(info));
}

State &stateOf(j_compress_ptr info)
{
    return stateOf(reinterpret_cast<j_common_ptr>(info));
}

[[noreturn]] void fail(j_common_ptr info)
{
    State &state = stateOf(info);
    (*info->err->format_message)(info, state.message);
    std::longjmp(state.failed, 1);
}

// Data that libjpeg can mend (a scan cut short, a stray marker) is decoded
// as well as it can be, without a word, as Qt's own reader does.
void passOver(j_common_ptr, int) {}

void nothing(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr info)
{
    State &state = stateOf(info);
    const qint64 got = state.device->read(reinterpret_cast<char *>(state.buffer), qint64(sizeof state.buffer));
    if (got <= 0) {
        // The walk has seen the end marker already; should the data still
        // run out, an end marker ends it, as libjpeg's own sources do.
        static const JOCTET end[] = {0xFF, JPEG_EOI};
        WARNMS(info, JWRN_JPEG_EOF);
        state.source.next_input_byte = end;
        state.source.bytes_in_buffer = sizeof end;
        return TRUE;
    }
    state.source.next_input_byte = state.buffer;
    state.source.bytes_in_buffer = size_t(got);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count)
{
    State &state = stateOf(info);
    while (count > 0 && size_t(count) > state.source.bytes_in_buffer) {
        count -= long(state.source.bytes_in_buffer);
        fillInput(info);
    }
    if (count > 0) {
        state.source.next_input_byte += count;
        state.source.bytes_in_buffer -= size_t(count);
    }
}

// The cut-out is written to memory that the State frees whatever happens.
boolean growCrop(j_compress_ptr info)
{
    State &state = stateOf(info);
    const size_t capacity = std::max<size_t>(state.cropCapacity * 2, 64 * 1024);
    auto *grown = static_cast<JOCTET *>(std::realloc(state.crop, capacity));
    if (!grown)
        ERREXIT(info, JERR_OUT_OF_MEMORY);
    state.destination.next_output_byte = grown + state.cropCapacity;
    state.destination.free_in_buffer = capacity - state.cropCapacity;
    state.crop = grown;
    state.cropCapacity = capacity;
    return TRUE;
}

// libjpeg writes a byte before it looks for room, so there is room from the
// start.
void startCrop(j_compress_ptr info)
{
    growCrop(info);
}

void endCrop(j_compress_ptr info)
{
    State &state = stateOf(info);
    state.cropSize = state.cropCapacity - state.destination.free_in_buffer;
}

// The rows come out as Qt's own reader gives them: grey as grey, colour as
// RGB, and CMYK, which is stored inverted, made RGB as Qt makes it.
QImage::Format chooseOutput(jpeg_decompress_struct &info)
{
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        info.out_color_space = JCS_GRAYSCALE;
        return QImage::Format_Grayscale8;
    case JCS_YCbCr:
    case JCS_RGB:
        info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
        return QImage::Format_RGB32;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        return QImage::Format_RGB32;
    default:
        return QImage::Format_Invalid;
    }
}

bool allocate(State &state, QImage &image, JDIMENSION width, JDIMENSION height, QImage::Format format)
{
    image = QImage(int(width), int(height), format);
    if (image.isNull())
        state.reason = QStringLiteral("there is not enough memory to decode it");
    return !image.isNull();
}

void readRows(jpeg_decompress_struct &info, QImage &image)
{
    const bool cmyk = info.out_color_space == JCS_CMYK;
    JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                         info.output_width * 4, 1)
                              : nullptr;
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        JSAMPROW row = cmyk ? cmykRow[0] : image.scanLine(y);
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            ERREXIT(&info, JERR_INPUT_EMPTY);
        if (cmyk) {
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (JDIMENSION x = 0; x < info.output_width; ++x, row += 4)
                out[x] = qRgb(row[3] * row[0] / 255, row[3] * row[1] / 255, row[3] * row[2] / 255);
        }
    }
}

JDIMENSION roundedUp(JDIMENSION value, int step)
{
    return (value + JDIMENSION(step) - 1) / JDIMENSION(step) * JDIMENSION(step);
}

// The rectangle `wanted` widened by a unit of blocks on every side, within
// the picture and on the unit grid, so that the cut-out's edges, which its
// decoder treats as the picture's own, lie a unit away from every pixel kept.
QRect cropAround(const QRect &wanted, const jpeg_decompress_struct &info)
{
    const int unitWidth = info.max_h_samp_factor * DCTSIZE, unitHeight = info.max_v_samp_factor * DCTSIZE;
    const int left = std::max(0, (wanted.left() / unitWidth - 1) * unitWidth);
    const int top = std::max(0, (wanted.top() / unitHeight - 1) * unitHeight);
    const int right = std::min(int(info.image_width), (wanted.right() / unitWidth + 2) * unitWidth);
    const int bottom = std::min(int(info.image_height), (wanted.bottom() / unitHeight + 2) * unitHeight);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Writes the coefficients under state.cropRect as a JPEG of its own, in
// memory: nothing is decoded or rounded on the way, so its pixels are the
// picture's.
void writeCrop(State &state, jvirt_barray_ptr *coefficients)
{
    jpeg_compress_struct &out = state.cropWriter;
    out.err = &state.errors.manager;
    jpeg_create_compress(&out);
    state.writerMade = true;
    state.destination.init_destination = startCrop;
    state.destination.empty_output_buffer = growCrop;
    state.destination.term_destination = endCrop;
    out.dest = &state.destination;
    jpeg_copy_critical_parameters(&state.input, &out);
    out.image_width = JDIMENSION(state.cropRect.width());
    out.image_height = JDIMENSION(state.cropRect.height());

    const int maxH = state.input.max_h_samp_factor, maxV = state.input.max_v_samp_factor;
    jvirt_barray_ptr arrays[MAX_COMPONENTS];
    JDIMENSION across[MAX_COMPONENTS], down[MAX_COMPONENTS];
    for (int c = 0; c < out.num_components; ++c) {
        const jpeg_component_info &component = state.input.comp_info[c];
        const int h = component.h_samp_factor, v = component.v_samp_factor;
        across[c] = JDIMENSION((qint64(state.cropRect.width()) * h + maxH * DCTSIZE - 1) / (maxH * DCTSIZE));
        down[c] = JDIMENSION((qint64(state.cropRect.height()) * v + maxV * DCTSIZE - 1) / (maxV * DCTSIZE));
        // Zeroed: libjpeg writes whole rows of sampling units, and where the
        // cut-out ends half-way through one it reads the blocks below the
        // picture too, which are never copied.
        arrays[c] = (*out.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&out), JPOOL_IMAGE, TRUE,
                                                    roundedUp(across[c], h), roundedUp(down[c], v),
                                                    JDIMENSION(v));
    }
    jpeg_write_coefficients(&out, arrays);
    for (int c = 0; c < out.num_components; ++c) {
        const jpeg_component_info &component = state.input.comp_info[c];
        // The crop lies on the unit grid, so it starts on a whole block of
        // every component.
        const JDIMENSION left = JDIMENSION(state.cropRect.left() / (maxH * DCTSIZE) * component.h_samp_factor);
        const JDIMENSION top = JDIMENSION(state.cropRect.top() / (maxV * DCTSIZE) * component.v_samp_factor);
        for (JDIMENSION row = 0; row < down[c]; ++row) {
            JBLOCKARRAY from = (*state.input.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&state.input),
                                                                      coefficients[c], top + row, 1, FALSE);
            JBLOCKARRAY to = (*out.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&out), arrays[c], row,
                                                            1, TRUE);
            std::memcpy(to[0], from[0] + left, across[c] * sizeof(JBLOCK));
        }
    }
    jpeg_finish_compress(&out);
}

void readCrop(State &state)
{
    jpeg_decompress_struct &in = state.cropReader;
    in.err = &state.errors.manager;
    jpeg_create_decompress(&in);
    state.readerMade = true;
    jpeg_mem_src(&in, state.crop, static_cast<unsigned long>(state.cropSize));
    jpeg_read_header(&in, TRUE);
    const QImage::Format format = chooseOutput(in);
    jpeg_start_decompress(&in);
    if (!allocate(state, state.cropImage, in.output_width, in.output_height, format))
        return;
    readRows(in, state.cropImage);
    jpeg_finish_decompress(&in);
}

bool run(State &state, int eighths, const QRect &corner)
{
    state.errors.state = &state;
    state.input.err = jpeg_std_error(&state.errors.manager);
    state.errors.manager.error_exit = fail;
    state.errors.manager.emit_message = passOver;
    if (setjmp(state.failed))
        return false;

    jpeg_create_decompress(&state.input);
    state.inputMade = true;
    state.source.init_source = nothing;
    state.source.fill_input_buffer = fillInput;
    state.source.skip_input_data = skipInput;
    state.source.resync_to_restart = jpeg_resync_to_restart;
    state.source.term_source = nothing;
    state.input.src = &state.source;
    jpeg_read_header(&state.input, TRUE);
    const QImage::Format format = chooseOutput(state.input);
    if (format == QImage::Format_Invalid) {
        state.reason = QStringLiteral("its colours are stored in a form this program does not read");
        return false;
    }
    state.input.buffered_image = TRUE;
    state.input.scale_num = unsigned(eighths);
    state.input.scale_denom = 8;
    jpeg_start_decompress(&state.input);
    // The one pass over the data: every scan into the coefficients.
    while (jpeg_consume_input(&state.input) != JPEG_REACHED_EOI) {
    }

    if (!allocate(state, state.whole, state.input.output_width, state.input.output_height, format))
        return false;
    jpeg_start_output(&state.input, state.input.input_scan_number);
    readRows(state.input, state.whole);
    jpeg_finish_output(&state.input);

    state.cropRect = cropAround(corner, state.input);
    writeCrop(state, jpeg_read_coefficients(&state.input));
    readCrop(state);
    return state.reason.isEmpty();
}

} // namespace

Decoded decode(QIODevice &device, int eighths, const QRect &corner)
{
    auto state = std::make_unique<State>();
    state->device = &device;
    Decoded decoded;
    if (!run(*state, eighths, corner)) {
        decoded.reason = !state->reason.isEmpty()
            ? state->reason
            : QStringLiteral("the JPEG data is damaged: %1").arg(QString::fromLocal8Bit(state->message));
        return decoded;
    }
    decoded.whole = std::move(state->whole);
    decoded.corner = state->cropImage.copy(corner.translated(-state->cropRect.topLeft()));
    return decoded;
}

} // namespace BufferedJpeg
