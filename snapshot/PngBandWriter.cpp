#include "PngBandWriter.h"

#include "ThreadPool.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>

namespace mandel {

namespace {

// Bytes zlib may add to a piece beyond deflateBound: the empty stored block
// that ends a flushed piece, with room to spare.
constexpr std::size_t kFlushSlack = 64;


// One stretch of rows compressed on its own: its deflate state is kept from
// band to band, its buffers grow to the largest piece seen.
struct Piece {
    z_stream z{};
    bool ready = false;
    int status = Z_OK;
    std::vector<unsigned char> raw;  // the filtered rows, each led by its filter byte
    std::vector<unsigned char> out;  // compressed
    std::size_t rawBytes = 0;
    std::size_t outBytes = 0;
    uLong adler = 1;

    ~Piece()
    {
        if (ready)
            deflateEnd(&z);
    }
};

// PNG's Sub filter: each byte less the same component of the pixel to its left.
void subFilter(const std::uint8_t* row, std::size_t bytes, unsigned char* out)
{
    out[0] = 1;
    ++out;
    const std::size_t lead = std::min<std::size_t>(3, bytes);
    for (std::size_t i = 0; i < lead; ++i)
        out[i] = row[i];
    for (std::size_t i = 3; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(row[i] - row[i - 3]);
}

} // namespace

struct PngBandWriter::State {
    PictureSize size;
    std::vector<PngText> texts;
    ByteWriter out;
    ThreadPool* pool;
    int level;
    std::size_t maxChunk;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string pngError;
    Status failure;
    std::uint64_t offset = 0;
    int rowsDone = 0;
    bool started = false;
    uLong adler = 1;
    std::vector<Piece> pieces;

    static void onWrite(png_structp png, png_bytep data, std::size_t length)
    {
        auto* s = static_cast<State*>(png_get_io_ptr(png));
        if (s->failure)
            s->failure = s->out(s->offset, {data, length});
        s->offset += length;
    }
    static void onFlush(png_structp) {}
    [[noreturn]] static void onError(png_structp png, png_const_charp message)
    {
        auto* s = static_cast<State*>(png_get_error_ptr(png));
        s->pngError = message ? message : "libpng failed";
        png_longjmp(png, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}

    // Runs libpng calls that may fail; false (and pngError) when one did.
    // Nothing with a destructor may live inside `calls`: an error jumps out.
    template <class Calls>
    bool guarded(Calls calls)
    {
        if (setjmp(png_jmpbuf(png)))
            return false;
        calls();
        return true;
    }

    Status libpngFailed() const { return fail("cannot encode the PNG: " + pngError, EIO); }

    Status writeHeader();
    Status writeChunk(const char* name, const unsigned char* data, std::size_t length);
    void compress(Piece& piece, const std::uint8_t* rgb, int rows, bool last) const;
};

PngBandWriter::PngBandWriter(PictureSize size, std::vector<PngText> texts, ByteWriter out, ThreadPool* pool, int level,
                             std::size_t maxChunk)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.size = size;
    s.texts = std::move(texts);
    s.out = std::move(out);
    s.pool = pool;
    s.level = std::clamp(level, 1, 9);
    s.maxChunk = std::max<std::size_t>(maxChunk, 1);
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, &State::onError, &State::onWarning);
    if (s.png)
        s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) {
        s.failure = fail("cannot encode the PNG: out of memory", ENOMEM);
        return;
    }
    png_set_write_fn(s.png, &s, &State::onWrite, &State::onFlush);
    s.pieces = std::vector<Piece>(static_cast<std::size_t>(pool ? pool->size() : 1));
    for (Piece& p : s.pieces) {
        // Raw deflate: the pieces join into one stream behind one header.
        p.ready = deflateInit2(&p.z, s.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!p.ready)
            s.failure = fail("cannot encode the PNG: out of memory", ENOMEM);
    }
}

PngBandWriter::~PngBandWriter()
{
    if (state_->png)
        png_destroy_write_struct(&state_->png, state_->info ? &state_->info : nullptr);
}

bool PngBandWriter::complete() const noexcept
{
    return state_->failure.ok() && state_->rowsDone == state_->size.height && state_->started;
}

std::uint64_t PngBandWriter::bytesWritten() const noexcept
{
    return state_->offset;
}

Status PngBandWriter::State::writeHeader()
{
    std::vector<png_text> chunks(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = texts[i].keyword.data();
        chunks[i].text = texts[i].text.data();
        chunks[i].text_length = texts[i].text.size();
    }
    png_text* const first = chunks.data();
    const int count = static_cast<int>(chunks.size());
    const bool ok = guarded([&] {
        png_set_IHDR(png, info, static_cast<png_uint_32>(size.width), static_cast<png_uint_32>(size.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (count > 0)
            png_set_text(png, info, first, count);
        png_write_info(png, info);
    });
    if (!ok)
        return libpngFailed();
    return failure;
}

Status PngBandWriter::State::writeChunk(const char* name, const unsigned char* data, std::size_t length)
{
    const auto* tag = reinterpret_cast<png_const_bytep>(name);
    const bool ok = guarded([&] {
        png_write_chunk_start(png, tag, static_cast<png_uint_32>(length));
        if (length > 0)
            png_write_chunk_data(png, data, length);
        png_write_chunk_end(png);
    });
    if (!ok)
        return libpngFailed();
    return failure;
}

void PngBandWriter::State::compress(Piece& piece, const std::uint8_t* rgb, int rows, bool last) const
{
    const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
    piece.rawBytes = static_cast<std::size_t>(rows) * (rowBytes + 1);
    if (piece.raw.size() < piece.rawBytes)
        piece.raw.resize(piece.rawBytes);
    piece.adler = 1;
    for (int r = 0; r < rows; ++r) {
        unsigned char* filtered = piece.raw.data() + static_cast<std::size_t>(r) * (rowBytes + 1);
        subFilter(rgb + static_cast<std::size_t>(r) * rowBytes, rowBytes, filtered);
        // While the row is in the cache.
        piece.adler = adler32_z(piece.adler, filtered, rowBytes + 1);
    }
    deflateReset(&piece.z);
    const std::size_t bound = deflateBound(&piece.z, static_cast<uLong>(piece.rawBytes)) + kFlushSlack;
    if (piece.out.size() < bound)
        piece.out.resize(bound);
    piece.z.next_in = piece.raw.data();
    piece.z.avail_in = static_cast<uInt>(piece.rawBytes);
    piece.z.next_out = piece.out.data();
    piece.z.avail_out = static_cast<uInt>(piece.out.size());
    // A flushed piece ends on a byte boundary with no final-block mark, so
    // the next piece's blocks can follow it; the last piece ends the stream.
    piece.status = deflate(&piece.z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done = last ? piece.status == Z_STREAM_END : (piece.status == Z_OK && piece.z.avail_in == 0);
    piece.outBytes = piece.out.size() - piece.z.avail_out;
    if (done)
        piece.status = Z_OK;
    else if (piece.status == Z_OK)
        piece.status = Z_BUF_ERROR;
}

Status PngBandWriter::writeRows(const std::uint8_t* rgb, int rows)
{
    State& s = *state_;
    if (!s.failure)
        return s.failure;
    if (rows <= 0)
        return {};
    if (rows > s.size.height - s.rowsDone)
        return s.failure = fail("more rows than the picture's height", EINVAL);
    if (!s.started) {
        s.started = true;
        if (Status h = s.writeHeader(); !h)
            return s.failure = h;
    }
    const bool ends = s.rowsDone + rows == s.size.height;
    const int parts = std::min(rows, static_cast<int>(s.pieces.size()));
    const std::size_t rowBytes = static_cast<std::size_t>(s.size.width) * 3;
    auto job = [&](int i) {
        if (i >= parts)
            return;
        const int r0 = static_cast<int>(std::int64_t{rows} * i / parts);
        const int r1 = static_cast<int>(std::int64_t{rows} * (i + 1) / parts);
        s.compress(s.pieces[static_cast<std::size_t>(i)], rgb + static_cast<std::size_t>(r0) * rowBytes, r1 - r0,
                   ends && i == parts - 1);
    };
    if (s.pool)
        s.pool->run(job);
    else
        job(0);

    for (int i = 0; i < parts; ++i) {
        Piece& p = s.pieces[static_cast<std::size_t>(i)];
        if (p.status != Z_OK)
            return s.failure = fail("cannot compress the PNG (zlib error " + std::to_string(p.status) + ")", EIO);
        s.adler = adler32_combine(s.adler, p.adler, static_cast<z_off_t>(p.rawBytes));
    }
    // One image-data chunk per band: the zlib header leads the first, the
    // combined checksum trails the last.
    std::vector<unsigned char> head;
    if (s.rowsDone == 0)
        head = {0x78, 0x01};
    std::vector<unsigned char> tail;
    if (ends)
        tail = {static_cast<unsigned char>(s.adler >> 24), static_cast<unsigned char>(s.adler >> 16),
                static_cast<unsigned char>(s.adler >> 8), static_cast<unsigned char>(s.adler)};
    std::size_t total = head.size() + tail.size();
    for (int i = 0; i < parts; ++i)
        total += s.pieces[static_cast<std::size_t>(i)].outBytes;
    const std::size_t maxChunk = s.maxChunk;
    if (total > maxChunk) {
        // Only a band of more than a gigabyte gets here: one chunk per piece.
        for (int i = 0; i < parts && s.failure; ++i) {
            Piece& p = s.pieces[static_cast<std::size_t>(i)];
            std::vector<unsigned char> one;
            if (i == 0)
                one.insert(one.end(), head.begin(), head.end());
            one.insert(one.end(), p.out.begin(), p.out.begin() + static_cast<std::ptrdiff_t>(p.outBytes));
            if (i == parts - 1)
                one.insert(one.end(), tail.begin(), tail.end());
            for (std::size_t at = 0; at < one.size() && s.failure; at += maxChunk)
                s.failure = s.writeChunk("IDAT", one.data() + at, std::min(maxChunk, one.size() - at));
        }
    } else {
        const bool ok = s.guarded([&] {
            png_write_chunk_start(s.png, reinterpret_cast<png_const_bytep>("IDAT"), static_cast<png_uint_32>(total));
            if (!head.empty())
                png_write_chunk_data(s.png, head.data(), head.size());
            for (int i = 0; i < parts; ++i)
                png_write_chunk_data(s.png, s.pieces[static_cast<std::size_t>(i)].out.data(),
                                     s.pieces[static_cast<std::size_t>(i)].outBytes);
            if (!tail.empty())
                png_write_chunk_data(s.png, tail.data(), tail.size());
            png_write_chunk_end(s.png);
        });
        if (!ok)
            s.failure = s.libpngFailed();
    }
    if (!s.failure)
        return s.failure;
    s.rowsDone += rows;
    if (ends)
        s.failure = s.writeChunk("IEND", nullptr, 0);
    return s.failure;
}

} // namespace mandel
