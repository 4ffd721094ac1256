#include "export/AviEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "export/AviWriter.h"

namespace zov {

namespace {

struct PixelChoice {
    const char* encoder;
    AVPixelFormat format;
};

// The input format each encoder gets: a packed or planar RGB one where the encoder has it,
// so that nothing is lost on the way in.
const PixelChoice kPixels[] = {
    {"zmbv", AV_PIX_FMT_BGR0},        {"ffv1", AV_PIX_FMT_BGR0},      {"utvideo", AV_PIX_FMT_GBRP},
    {"huffyuv", AV_PIX_FMT_RGB24},    {"ffvhuff", AV_PIX_FMT_RGB24},  {"png", AV_PIX_FMT_RGB24},
    {"libx264rgb", AV_PIX_FMT_BGR24}, {"mjpeg", AV_PIX_FMT_YUVJ420P}, {"mpeg4", AV_PIX_FMT_YUV420P},
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool SameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

} // namespace

const std::vector<AviCompressor>& KnownAviCompressors() {
    static const std::vector<AviCompressor> known = {
        {"zmbv", "ZMBV", "Zip Motion Blocks Video (lossless)", true},
        {"ffv1", "FFV1", "FFV1 (lossless)", true},
        {"utvideo", "ULRG", "Ut Video RGB (lossless)", true},
        {"huffyuv", "HFYU", "Huffyuv (lossless)", true},
        {"ffvhuff", "FFVH", "Huffyuv FFmpeg variant (lossless)", true},
        {"png", "MPNG", "PNG frames (lossless)", true},
        {"libx264rgb", "H264", "H.264 RGB at QP 0 (lossless)", true},
        {"mjpeg", "MJPG", "Motion JPEG", false},
        {"mpeg4", "FMP4", "MPEG-4 Part 2", false},
    };
    return known;
}

std::vector<AviCompressor> AvailableAviCompressors() {
    std::vector<AviCompressor> out;
    for (const AviCompressor& c : KnownAviCompressors())
        if (avcodec_find_encoder_by_name(c.encoder))
            out.push_back(c);
    return out;
}

const AviCompressor* FindAviCompressor(const std::string& encoder) {
    for (const AviCompressor& c : KnownAviCompressors())
        if (SameName(encoder, c.encoder))
            return &c;
    return nullptr;
}

struct AviEncoder::State {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    ~State() {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
};

AviEncoder::AviEncoder() = default;
AviEncoder::~AviEncoder() = default;

bool AviEncoder::Open(const CompressorChoice& choice, int32_t width, int32_t height, uint32_t scale,
                      uint32_t rate, std::string& error) {
    m_state.reset();
    m_extradata.clear();
    m_pts = 0;
    const AviCompressor* known = FindAviCompressor(choice.encoder);
    if (!known) {
        error = "\"" + choice.encoder + "\" is not a compressor the AVI export knows";
        return false;
    }
    // The encoders' own chatter (statistics at the end) is not for the user's terminal.
    if (av_log_get_level() > AV_LOG_ERROR)
        av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name(known->encoder);
    if (!codec) {
        error = "the compressor \"" + std::string(known->encoder) + "\" is not present in this libavcodec";
        return false;
    }
    AVPixelFormat pixels = AV_PIX_FMT_NONE;
    for (const PixelChoice& p : kPixels)
        if (std::strcmp(p.encoder, known->encoder) == 0)
            pixels = p.format;
    auto s = std::make_unique<State>();
    s->ctx = avcodec_alloc_context3(codec);
    s->frame = av_frame_alloc();
    s->packet = av_packet_alloc();
    if (!s->ctx || !s->frame || !s->packet) {
        error = "not enough memory for the compressor";
        return false;
    }
    AVCodecContext* c = s->ctx;
    c->width = width;
    c->height = height;
    c->pix_fmt = pixels;
    c->time_base = AVRational{static_cast<int>(scale), static_cast<int>(rate)};
    c->framerate = AVRational{static_cast<int>(rate), static_cast<int>(scale)};
    c->max_b_frames = 0;
    c->codec_tag = m_fourcc = FourCCOf(known->fourcc);
    if (choice.keyFrameRate > 0) {
        c->gop_size = choice.keyFrameRate;
        c->keyint_min = choice.keyFrameRate; // the interval zmbv takes
    }
    if (choice.dataRate > 0)
        c->bit_rate = int64_t(choice.dataRate) * 1024 * 8;
    if (!known->exact && choice.quality >= 0) {
        const int q = std::clamp(choice.quality, 0, 100);
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * (1 + (100 - q) * 30 / 100);
    }
    if (std::strcmp(known->encoder, "libx264rgb") == 0) {
        av_opt_set(c->priv_data, "qp", "0", 0);
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
    }
    if (std::strcmp(known->encoder, "mjpeg") == 0)
        c->color_range = AVCOL_RANGE_JPEG;
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        error = "the compressor \"" + std::string(known->encoder) + "\" refused the settings: " + AvError(rc);
        return false;
    }
    s->frame->format = pixels;
    s->frame->width = width;
    s->frame->height = height;
    if ((rc = av_frame_get_buffer(s->frame, 32)) < 0) {
        error = "not enough memory for the compressor's frame: " + AvError(rc);
        return false;
    }
    if (pixels != AV_PIX_FMT_BGR24) {
        s->sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, pixels,
                                SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
        if (!s->sws) {
            error = "no pixel conversion to the compressor's format";
            return false;
        }
    }
    if (c->extradata && c->extradata_size > 0)
        m_extradata.assign(c->extradata, c->extradata + c->extradata_size);
    m_bitCount = c->bits_per_coded_sample > 0 ? static_cast<uint16_t>(c->bits_per_coded_sample) : 24;
    m_state = std::move(s);
    return true;
}

bool AviEncoder::Drain(const PacketSink& sink, std::string& error) {
    for (;;) {
        const int rc = avcodec_receive_packet(m_state->ctx, m_state->packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            error = "the compressor failed: " + AvError(rc);
            return false;
        }
        const bool ok = sink(m_state->packet->data, static_cast<size_t>(m_state->packet->size),
                             (m_state->packet->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(m_state->packet);
        if (!ok)
            return false;
    }
}

bool AviEncoder::Encode(const Image24& picture, const PacketSink& sink, std::string& error) {
    if (!m_state) {
        error = "the compressor is not open";
        return false;
    }
    AVFrame* f = m_state->frame;
    int rc = av_frame_make_writable(f);
    if (rc < 0) {
        error = "the compressor's frame: " + AvError(rc);
        return false;
    }
    // The picture is stored bottom-up; the encoder sees it top-down.
    const int stride = picture.RowBytes();
    const uint8_t* top = picture.bits.data() + size_t(picture.height - 1) * size_t(stride);
    if (m_state->sws) {
        const uint8_t* src[4] = {top, nullptr, nullptr, nullptr};
        const int srcStride[4] = {-stride, 0, 0, 0};
        sws_scale(m_state->sws, src, srcStride, 0, picture.height, f->data, f->linesize);
    } else {
        for (int y = 0; y < picture.height; ++y)
            std::memcpy(f->data[0] + size_t(y) * size_t(f->linesize[0]), top - ptrdiff_t(y) * stride,
                        size_t(picture.width) * 3);
    }
    f->pts = m_pts++;
    if (m_state->ctx->flags & AV_CODEC_FLAG_QSCALE)
        f->quality = m_state->ctx->global_quality;
    rc = avcodec_send_frame(m_state->ctx, f);
    if (rc < 0) {
        error = "the compressor refused a frame: " + AvError(rc);
        return false;
    }
    return Drain(sink, error);
}

bool AviEncoder::Flush(const PacketSink& sink, std::string& error) {
    if (!m_state)
        return true;
    const int rc = avcodec_send_frame(m_state->ctx, nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        error = "the compressor could not be drained: " + AvError(rc);
        return false;
    }
    return Drain(sink, error);
}

} // namespace zov
