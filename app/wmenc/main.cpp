// zov-wmenc: the media encoder the WMV export starts as "zov-wmenc JOBFILE /start". It reads
// the job file (UTF-16LE behind FF FE), decodes the intermediate AVI with libavformat and
// libavcodec and writes an ASF file with wmv2 video (yuv420p) and wmav2 audio. The target is
// written under a temporary name beside it and renamed into place only when complete; any
// failure (or SIGTERM/SIGINT) removes the temporary file and exits with status 1.
#include "export/WmvJob.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

// wmav2 refuses less than this.
constexpr int64_t kMinAudioBitRate = 24000;

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

struct Input {
    AVFormatContext* fmt = nullptr;
    int videoIndex = -1;
    int audioIndex = -1;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    ~Input() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        avformat_close_input(&fmt);
    }
};

struct Output {
    AVFormatContext* fmt = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr; // yuv420p, padded to even sizes
    AVFrame* samples = nullptr; // one encoder frame of planar float
    AVPacket* packet = nullptr;
    int srcWidth = 0, srcHeight = 0;
    AVPixelFormat srcFormat = AV_PIX_FMT_NONE;
    int64_t videoPts = 0;
    int64_t audioPts = 0;
    std::string tempPath;
    bool committed = false;
    ~Output() {
        if (fmt && fmt->pb)
            avio_closep(&fmt->pb);
        avformat_free_context(fmt);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(sws);
        swr_free(&swr);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&samples);
        av_packet_free(&packet);
        if (!committed && !tempPath.empty())
            std::remove(tempPath.c_str());
    }
};

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "zov-wmenc: %s\n", why.c_str());
    std::exit(1);
}

bool Fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

bool OpenDecoder(AVFormatContext* fmt, int index, AVCodecContext*& ctx, std::string& error) {
    const AVCodecParameters* par = fmt->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        return Fail(error, std::string("no decoder for ") + avcodec_get_name(par->codec_id));
    ctx = avcodec_alloc_context3(codec);
    if (!ctx || avcodec_parameters_to_context(ctx, par) < 0)
        return Fail(error, "out of memory");
    ctx->pkt_timebase = fmt->streams[index]->time_base;
    int r = avcodec_open2(ctx, codec, nullptr);
    if (r < 0)
        return Fail(error, "can not open the decoder: " + AvError(r));
    return true;
}

bool OpenInput(const std::string& path, Input& in, std::string& error) {
    int r = avformat_open_input(&in.fmt, path.c_str(), nullptr, nullptr);
    if (r < 0)
        return Fail(error, "can not open \"" + path + "\": " + AvError(r));
    if ((r = avformat_find_stream_info(in.fmt, nullptr)) < 0)
        return Fail(error, "can not read the streams of \"" + path + "\": " + AvError(r));
    in.videoIndex = av_find_best_stream(in.fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (in.videoIndex < 0)
        return Fail(error, "\"" + path + "\" has no video stream");
    in.audioIndex = av_find_best_stream(in.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (!OpenDecoder(in.fmt, in.videoIndex, in.video, error))
        return false;
    if (in.audioIndex >= 0 && !OpenDecoder(in.fmt, in.audioIndex, in.audio, error))
        return false;
    return true;
}

bool SetUpVideo(const Input& in, Output& out, std::string& error) {
    const AVStream* src = in.fmt->streams[in.videoIndex];
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
    if (!codec)
        return Fail(error, "this FFmpeg has no wmv2 encoder");
    out.srcWidth = in.video->width;
    out.srcHeight = in.video->height;
    out.srcFormat = in.video->pix_fmt;
    if (out.srcWidth <= 0 || out.srcHeight <= 0 || out.srcFormat == AV_PIX_FMT_NONE)
        return Fail(error, "the video stream has no picture size");
    AVRational rate = src->avg_frame_rate.num > 0 ? src->avg_frame_rate : src->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = av_inv_q(src->time_base);
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
    AVCodecContext* c = out.video = avcodec_alloc_context3(codec);
    if (!c)
        return Fail(error, "out of memory");
    // yuv420p halves the chroma: an odd size gets one more column (row) copied from its last.
    c->width = (out.srcWidth + 1) & ~1;
    c->height = (out.srcHeight + 1) & ~1;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = av_inv_q(rate);
    c->framerate = rate;
    c->gop_size = 12;
    c->max_b_frames = 0;
    // Screen content: a fixed high quality rather than a bit rate that blurs text.
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 2;
    if (out.fmt->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        return Fail(error, "can not open the wmv2 encoder: " + AvError(r));
    out.videoStream = avformat_new_stream(out.fmt, nullptr);
    if (!out.videoStream || avcodec_parameters_from_context(out.videoStream->codecpar, c) < 0)
        return Fail(error, "out of memory");
    out.videoStream->time_base = c->time_base;
    out.sws = sws_getContext(out.srcWidth, out.srcHeight, out.srcFormat, out.srcWidth, out.srcHeight,
                             AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    out.picture = av_frame_alloc();
    if (!out.sws || !out.picture)
        return Fail(error, "can not convert the pictures to yuv420p");
    out.picture->format = c->pix_fmt;
    out.picture->width = c->width;
    out.picture->height = c->height;
    if (av_frame_get_buffer(out.picture, 0) < 0)
        return Fail(error, "out of memory");
    return true;
}

bool SetUpAudio(const Input& in, Output& out, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec)
        return Fail(error, "this FFmpeg has no wmav2 encoder");
    AVCodecContext* c = out.audio = avcodec_alloc_context3(codec);
    if (!c)
        return Fail(error, "out of memory");
    const int rate = in.audio->sample_rate;
    const int channels = in.audio->ch_layout.nb_channels;
    if (rate <= 0 || channels < 1 || channels > 2)
        return Fail(error, "the sound track has " + std::to_string(channels) + " channels at " +
                               std::to_string(rate) + " Hz; 1 or 2 channels are needed");
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, channels);
    // As much as the source carries, but never below what wmav2 accepts.
    const int64_t sourceRate = in.audio->bit_rate > 0 ? in.audio->bit_rate : int64_t(rate) * channels * 16;
    c->bit_rate = std::clamp<int64_t>(sourceRate / 4, kMinAudioBitRate, 128000);
    c->time_base = AVRational{1, rate};
    if (out.fmt->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        return Fail(error, "can not open the wmav2 encoder: " + AvError(r));
    out.audioStream = avformat_new_stream(out.fmt, nullptr);
    if (!out.audioStream || avcodec_parameters_from_context(out.audioStream->codecpar, c) < 0)
        return Fail(error, "out of memory");
    out.audioStream->time_base = c->time_base;
    r = swr_alloc_set_opts2(&out.swr, &c->ch_layout, c->sample_fmt, rate, &in.audio->ch_layout,
                            in.audio->sample_fmt, in.audio->sample_rate, 0, nullptr);
    if (r < 0 || swr_init(out.swr) < 0)
        return Fail(error, "can not convert the sound to planar float");
    out.fifo = av_audio_fifo_alloc(c->sample_fmt, channels, c->frame_size > 0 ? c->frame_size : 2048);
    out.samples = av_frame_alloc();
    if (!out.fifo || !out.samples)
        return Fail(error, "out of memory");
    return true;
}

// Sends `frame` (null: drain) to `enc` and writes what comes out.
bool Encode(Output& out, AVCodecContext* enc, AVStream* stream, AVFrame* frame, std::string& error) {
    int r = avcodec_send_frame(enc, frame);
    if (r < 0)
        return Fail(error, "the encoder refused a frame: " + AvError(r));
    for (;;) {
        r = avcodec_receive_packet(enc, out.packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return Fail(error, "encoding failed: " + AvError(r));
        av_packet_rescale_ts(out.packet, enc->time_base, stream->time_base);
        out.packet->stream_index = stream->index;
        r = av_interleaved_write_frame(out.fmt, out.packet);
        if (r < 0)
            return Fail(error, "can not write the target: " + AvError(r));
    }
}

bool EncodePicture(Output& out, const AVFrame* decoded, std::string& error) {
    if (decoded->width != out.srcWidth || decoded->height != out.srcHeight ||
        decoded->format != out.srcFormat)
        return Fail(error, "the picture size changes within the video stream");
    if (av_frame_make_writable(out.picture) < 0)
        return Fail(error, "out of memory");
    sws_scale(out.sws, decoded->data, decoded->linesize, 0, out.srcHeight, out.picture->data,
              out.picture->linesize);
    // Padding: repeat the last column and row of the luma plane (chroma already covers them).
    uint8_t* y = out.picture->data[0];
    const int ls = out.picture->linesize[0];
    if (out.video->width != out.srcWidth)
        for (int row = 0; row < out.srcHeight; ++row)
            y[row * ls + out.srcWidth] = y[row * ls + out.srcWidth - 1];
    if (out.video->height != out.srcHeight)
        std::memcpy(y + out.srcHeight * ls, y + (out.srcHeight - 1) * ls, size_t(out.video->width));
    out.picture->pts = out.videoPts++;
    return Encode(out, out.video, out.videoStream, out.picture, error);
}

// Encodes whole encoder frames from the FIFO; with `flush` the rest too, padded with silence.
bool DrainFifo(Output& out, bool flush, std::string& error) {
    const int frameSize = out.audio->frame_size > 0 ? out.audio->frame_size : 2048;
    while (av_audio_fifo_size(out.fifo) >= frameSize || (flush && av_audio_fifo_size(out.fifo) > 0)) {
        av_frame_unref(out.samples);
        out.samples->nb_samples = frameSize;
        out.samples->format = out.audio->sample_fmt;
        out.samples->sample_rate = out.audio->sample_rate;
        if (av_channel_layout_copy(&out.samples->ch_layout, &out.audio->ch_layout) < 0 ||
            av_frame_get_buffer(out.samples, 0) < 0)
            return Fail(error, "out of memory");
        const int have = std::min(frameSize, av_audio_fifo_size(out.fifo));
        if (av_audio_fifo_read(out.fifo, reinterpret_cast<void**>(out.samples->data), have) != have)
            return Fail(error, "can not read the sound buffer");
        if (have < frameSize)
            av_samples_set_silence(out.samples->data, have, frameSize - have,
                                   out.samples->ch_layout.nb_channels, out.audio->sample_fmt);
        out.samples->pts = out.audioPts;
        out.audioPts += frameSize;
        if (!Encode(out, out.audio, out.audioStream, out.samples, error))
            return false;
    }
    return true;
}

bool QueueSamples(Output& out, const AVFrame* decoded, std::string& error) {
    const int room = swr_get_out_samples(out.swr, decoded ? decoded->nb_samples : 0);
    if (room <= 0)
        return true;
    uint8_t** planes = nullptr;
    if (av_samples_alloc_array_and_samples(&planes, nullptr, out.audio->ch_layout.nb_channels, room,
                                           out.audio->sample_fmt, 0) < 0)
        return Fail(error, "out of memory");
    const int got = swr_convert(out.swr, planes, room,
                                decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr,
                                decoded ? decoded->nb_samples : 0);
    bool ok = got >= 0;
    if (ok && got > 0)
        ok = av_audio_fifo_write(out.fifo, reinterpret_cast<void**>(planes), got) == got;
    av_freep(&planes[0]);
    av_freep(&planes);
    return ok || Fail(error, "can not convert the sound");
}

// Takes every frame `dec` has ready and hands it on.
bool Drain(AVCodecContext* dec, AVFrame* frame, Output& out, bool video, std::string& error) {
    for (;;) {
        const int r = avcodec_receive_frame(dec, frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return Fail(error, "can not decode the source: " + AvError(r));
        const bool ok = video ? EncodePicture(out, frame, error)
                              : QueueSamples(out, frame, error) && DrainFifo(out, false, error);
        av_frame_unref(frame);
        if (!ok)
            return false;
    }
}

bool Convert(const zov::WmvJob& job, std::string& error) {
    Input in;
    if (!OpenInput(job.videoSource, in, error))
        return false;
    Input audioIn; // the job may name another file for the sound
    Input* soundFrom = &in;
    if (job.audioSource != job.videoSource) {
        if (!OpenInput(job.audioSource, audioIn, error))
            return false;
        soundFrom = &audioIn;
    }
    Output out;
    std::string folder = job.target;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string("./") : folder.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? job.target : job.target.substr(slash + 1);
    std::string temp = folder + "." + name + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return Fail(error, "can not create a file in \"" + folder + "\": " + std::strerror(errno));
    // mkstemp makes the file private; the finished file gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    out.tempPath = temp;
    if (avformat_alloc_output_context2(&out.fmt, nullptr, "asf", temp.c_str()) < 0 || !out.fmt)
        return Fail(error, "this FFmpeg can not write ASF");
    out.packet = av_packet_alloc();
    if (!out.packet)
        return Fail(error, "out of memory");
    if (!SetUpVideo(in, out, error))
        return false;
    const bool withSound = soundFrom->audioIndex >= 0;
    if (withSound && !SetUpAudio(*soundFrom, out, error))
        return false;
    int r = avio_open(&out.fmt->pb, temp.c_str(), AVIO_FLAG_WRITE);
    if (r < 0)
        return Fail(error, "can not write \"" + temp + "\": " + AvError(r));
    if ((r = avformat_write_header(out.fmt, nullptr)) < 0)
        return Fail(error, "can not write the ASF header: " + AvError(r));

    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (!pkt || !frame) {
        av_packet_free(&pkt);
        av_frame_free(&frame);
        return Fail(error, "out of memory");
    }
    struct Free {
        AVPacket*& p;
        AVFrame*& f;
        ~Free() {
            av_packet_free(&p);
            av_frame_free(&f);
        }
    } freeAtEnd{pkt, frame};

    // One pass over each input; the sound of a separate file follows the picture.
    auto pass = [&](Input& src, bool takeVideo, bool takeAudio) {
        for (;;) {
            if (g_stop)
                return Fail(error, "stopped");
            r = av_read_frame(src.fmt, pkt);
            if (r == AVERROR_EOF)
                break;
            if (r < 0)
                return Fail(error, "can not read the source: " + AvError(r));
            bool ok = true;
            if (takeVideo && pkt->stream_index == src.videoIndex) {
                ok = avcodec_send_packet(src.video, pkt) >= 0 && Drain(src.video, frame, out, true, error);
                if (!ok && error.empty())
                    error = "can not decode the source's picture";
            } else if (takeAudio && pkt->stream_index == src.audioIndex) {
                ok = avcodec_send_packet(src.audio, pkt) >= 0 && Drain(src.audio, frame, out, false, error);
                if (!ok && error.empty())
                    error = "can not decode the source's sound";
            }
            av_packet_unref(pkt);
            if (!ok)
                return false;
        }
        if (takeVideo &&
            (avcodec_send_packet(src.video, nullptr) < 0 || !Drain(src.video, frame, out, true, error)))
            return false;
        if (takeAudio &&
            (avcodec_send_packet(src.audio, nullptr) < 0 || !Drain(src.audio, frame, out, false, error)))
            return false;
        return true;
    };
    if (!pass(in, true, withSound && soundFrom == &in))
        return false;
    if (withSound && soundFrom != &in && !pass(audioIn, false, true))
        return false;
    if (out.videoPts == 0)
        return Fail(error, "the source holds no pictures");
    if (!Encode(out, out.video, out.videoStream, nullptr, error))
        return false;
    if (withSound) {
        if (!QueueSamples(out, nullptr, error) || !DrainFifo(out, true, error) ||
            !Encode(out, out.audio, out.audioStream, nullptr, error))
            return false;
    }
    if ((r = av_write_trailer(out.fmt)) < 0)
        return Fail(error, "can not finish the target: " + AvError(r));
    if ((r = avio_closep(&out.fmt->pb)) < 0)
        return Fail(error, "can not write the target: " + AvError(r));
    if (g_stop)
        return Fail(error, "stopped");
    if (std::rename(temp.c_str(), job.target.c_str()) != 0)
        return Fail(error,
                    "can not move the finished file to \"" + job.target + "\": " + std::strerror(errno));
    out.committed = true;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "/start") != 0)) {
        std::fprintf(stderr, "usage: zov-wmenc JOBFILE [/start]\n");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    av_log_set_level(AV_LOG_ERROR);
    zov::WmvJob job;
    std::string error;
    if (!zov::ReadJobFile(argv[1], job, error))
        Die(error);
    if (!Convert(job, error))
        Die(error);
    return 0;
}
