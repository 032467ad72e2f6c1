#include "VideoFile.h"

#include "OutputFile.h"
#include "ZoomDive.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cstdio>
#include <optional>

namespace mandel {

namespace {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

constexpr int kIoBuffer = 1 << 16;

} // namespace

// The libav objects of one video, freed in the right order.
struct VideoFile::Encoder {
    VideoSettings settings;
    std::optional<OutputFile> out;
    std::uint64_t position = 0, end = 0;  // where the muxer writes, and the file's length
    Status writeFailure;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* convert = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t frames = 0;
    bool headerWritten = false;

    ~Encoder()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(convert);
        avcodec_free_context(&codec);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        avformat_free_context(format);
    }

    // The muxer's writes and seeks, onto the output file.
    static int write(void* opaque, std::uint8_t* data, int size)
    {
        auto* e = static_cast<Encoder*>(opaque);
        if (Status s = e->out->writeAt(e->position, {data, static_cast<std::size_t>(size)}); !s) {
            e->writeFailure = s;
            return AVERROR(EIO);
        }
        e->position += static_cast<std::uint64_t>(size);
        e->end = std::max(e->end, e->position);
        return size;
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* e = static_cast<Encoder*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return static_cast<std::int64_t>(e->end);
        case SEEK_SET:
            e->position = static_cast<std::uint64_t>(offset);
            break;
        case SEEK_CUR:
            e->position = static_cast<std::uint64_t>(static_cast<std::int64_t>(e->position) + offset);
            break;
        case SEEK_END:
            e->position = static_cast<std::uint64_t>(static_cast<std::int64_t>(e->end) + offset);
            break;
        default:
            return AVERROR(EINVAL);
        }
        return static_cast<std::int64_t>(e->position);
    }

    // Sends `f` (null: the end) and writes every packet the encoder has.
    Status encode(AVFrame* f)
    {
        if (int r = avcodec_send_frame(codec, f); r < 0)
            return fail("the H.264 encoder refused a frame: " + avError(r), EIO);
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return {};
            if (r < 0)
                return fail("the H.264 encoder failed: " + avError(r), EIO);
            // One frame each, the last included: the video lasts frames / fps.
            if (packet->duration == 0)
                packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int w = av_interleaved_write_frame(format, packet);
            if (w < 0)
                return !writeFailure ? writeFailure : Status(fail("the MP4 could not be written: " + avError(w), EIO));
        }
    }
};

VideoFile::VideoFile(std::unique_ptr<Encoder> encoder) : encoder_(std::move(encoder)) {}
VideoFile::VideoFile(VideoFile&&) noexcept = default;
VideoFile& VideoFile::operator=(VideoFile&&) noexcept = default;
VideoFile::~VideoFile() = default;

Result<VideoFile> VideoFile::open(const std::string& path, const VideoSettings& settings)
{
    if (settings.width < 2 || settings.height < 2 || settings.width % 2 != 0 || settings.height % 2 != 0)
        return fail("a video's width and height must be even, at least 2", EINVAL);
    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264)
        h264 = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!h264)
        return fail("this system's FFmpeg libraries have no H.264 encoder", ENOSYS);

    // The encoder's own chatter stays off the terminal; failures are ours to say.
    av_log_set_level(AV_LOG_ERROR);
    auto e = std::make_unique<Encoder>();
    e->settings = settings;
    auto out = OutputFile::open(path, Overwrite::Replace);
    if (!out)
        return out.failure();
    if (out->inOrderOnly())
        return fail("an MP4 is finished by going back to its start and cannot go to a pipe or device", ESPIPE);
    e->out.emplace(std::move(*out));

    if (avformat_alloc_output_context2(&e->format, nullptr, "mp4", nullptr) < 0 || !e->format)
        return fail("FFmpeg cannot write MP4 here", ENOSYS);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    e->io = avio_alloc_context(buffer, kIoBuffer, 1, e.get(), nullptr, &Encoder::write, &Encoder::seek);
    if (!e->io) {
        av_free(buffer);
        return fail("out of memory", ENOMEM);
    }
    e->format->pb = e->io;
    e->format->flags |= AVFMT_FLAG_CUSTOM_IO;

    e->stream = avformat_new_stream(e->format, nullptr);
    e->codec = avcodec_alloc_context3(h264);
    e->packet = av_packet_alloc();
    e->frame = av_frame_alloc();
    if (!e->stream || !e->codec || !e->packet || !e->frame)
        return fail("out of memory", ENOMEM);
    AVCodecContext* c = e->codec;
    c->width = settings.width;
    c->height = settings.height;
    c->time_base = AVRational{1, settings.fps};
    c->framerate = AVRational{settings.fps, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = 2 * settings.fps;
    if (e->format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    (void)av_opt_set(c->priv_data, "crf", std::to_string(settings.quality).c_str(), 0);
    (void)av_opt_set(c->priv_data, "preset", settings.preset.c_str(), 0);
    // x264 holds frames for each thread and for its look-ahead: a few
    // threads and a shorter look-ahead keep a 1080p encoder near 100 MB on
    // any machine (left to itself, it starts 1.5 threads a core), and the
    // bytes written then depend on nothing but the frames.
    c->thread_count = kEncoderThreads;
    (void)av_opt_set(c->priv_data, "rc-lookahead", "10", 0);
    if (int r = avcodec_open2(c, h264, nullptr); r < 0)
        return fail("the H.264 encoder cannot start: " + avError(r), EINVAL);
    if (avcodec_parameters_from_context(e->stream->codecpar, c) < 0)
        return fail("the H.264 encoder's parameters cannot be stored", EINVAL);
    e->stream->time_base = c->time_base;

    e->frame->format = AV_PIX_FMT_YUV420P;
    e->frame->width = settings.width;
    e->frame->height = settings.height;
    if (av_frame_get_buffer(e->frame, 0) < 0)
        return fail("out of memory", ENOMEM);
    e->convert = sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGB24, settings.width, settings.height,
                                AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!e->convert)
        return fail("no conversion from RGB to yuv420p", ENOSYS);
    const int header = avformat_write_header(e->format, nullptr);
    if (header < 0)
        return !e->writeFailure ? Result<VideoFile>(e->writeFailure.failure())
                                : Result<VideoFile>(fail("the MP4 cannot be started: " + avError(header), EIO));
    e->headerWritten = true;
    return VideoFile(std::move(e));
}

Status VideoFile::add(const RgbImage& image)
{
    Encoder& e = *encoder_;
    if (image.width != e.settings.width || image.height != e.settings.height)
        return fail("a frame of another size than the video's", EINVAL);
    if (av_frame_make_writable(e.frame) < 0)
        return fail("out of memory", ENOMEM);
    const std::uint8_t* planes[1] = {image.rgb.data()};
    const int strides[1] = {3 * image.width};
    sws_scale(e.convert, planes, strides, 0, image.height, e.frame->data, e.frame->linesize);
    e.frame->pts = e.frames++;
    return e.encode(e.frame);
}

Status VideoFile::finish()
{
    Encoder& e = *encoder_;
    if (Status s = e.encode(nullptr); !s)
        return s;
    if (int r = av_write_trailer(e.format); r < 0)
        return !e.writeFailure ? e.writeFailure : Status(fail("the MP4 could not be finished: " + avError(r), EIO));
    avio_flush(e.io);
    if (!e.writeFailure)
        return e.writeFailure;
    return e.out->commit();
}

} // namespace mandel
