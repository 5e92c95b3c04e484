// VideoFile.cpp - frames to a video through libavformat, libavcodec and
// libswscale.
//
// .mp4 holds H.264 (libx264) where this FFmpeg has it, else MPEG-4 part 2;
// .webm holds VP9 (libvpx-vp9), else VP8; both in yuv420p, whose chroma is
// shared by 2 x 2 pixels, so a frame with an odd side is padded to even by
// repeating its last column or row (the picture is not scaled). .gif holds
// 8-bit RGB (3-3-2) frames. A frame whose size differs from the first one
// (the session resized the window) is scaled to the first one's size.
#include "VideoFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

const char* const videoEndings = ".mp4, .webm or .gif";

namespace {

struct VideoFormat {
    const char* ending;
    const char* muxer;
};
const VideoFormat videoFormats[] = {{".mp4", "mp4"}, {".webm", "webm"}, {".gif", "gif"}};

std::string finalPath, temporaryPath;
const VideoFormat* chosen = nullptr;
AVFormatContext* output = nullptr;
AVCodecContext* encoder = nullptr;
AVStream* stream = nullptr;
SwsContext* scaler = nullptr;
AVFrame* picture = nullptr;
AVPacket* packet = nullptr;
std::vector<unsigned char> topDown;  // the frame top row first, padded to even sides
long long framesAdded = 0;

std::string avMessage(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int evenSide(int side) { return side + (side & 1); }

void releaseAll() {
    if (output) {
        if (output->pb) avio_closep(&output->pb);
        avformat_free_context(output);
        output = nullptr;
    }
    avcodec_free_context(&encoder);
    av_frame_free(&picture);
    av_packet_free(&packet);
    sws_freeContext(scaler);
    scaler = nullptr;
    stream = nullptr;
}

const AVCodec* chooseCodec() {
    const std::string muxer = chosen->muxer;
    if (muxer == "mp4") {
        const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
        return h264 ? h264 : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    }
    if (muxer == "webm") {
        const AVCodec* vp9 = avcodec_find_encoder_by_name("libvpx-vp9");
        return vp9 ? vp9 : avcodec_find_encoder_by_name("libvpx");
    }
    return avcodec_find_encoder(AV_CODEC_ID_GIF);
}

bool startEncoder(int width, int height, std::string& error) {
    const AVCodec* codec = chooseCodec();
    if (!codec) {
        error = finalPath + ": this FFmpeg has no encoder for " + chosen->ending + " videos";
        return false;
    }
    encoder = avcodec_alloc_context3(codec);
    stream = avformat_new_stream(output, nullptr);
    picture = av_frame_alloc();
    packet = av_packet_alloc();
    if (!encoder || !stream || !picture || !packet) {
        error = finalPath + ": out of memory for the video encoder";
        return false;
    }
    const bool gif = codec->id == AV_CODEC_ID_GIF;
    encoder->width = gif ? width : evenSide(width);
    encoder->height = gif ? height : evenSide(height);
    encoder->pix_fmt = gif ? AV_PIX_FMT_RGB8 : AV_PIX_FMT_YUV420P;
    encoder->time_base = AVRational{1, videoFramesPerSecond};
    encoder->framerate = AVRational{videoFramesPerSecond, 1};
    encoder->gop_size = videoFramesPerSecond;
    // What libswscale's RGB to YUV conversion gives: BT.601, limited range.
    encoder->colorspace = AVCOL_SPC_SMPTE170M;
    encoder->color_range = AVCOL_RANGE_MPEG;
    AVDictionary* options = nullptr;
    const std::string name = codec->name;
    if (name == "libx264") {
        av_dict_set(&options, "preset", "fast", 0);
        av_dict_set(&options, "crf", "18", 0);
    } else if (name == "libvpx-vp9" || name == "libvpx") {
        // Constant quality; "good" at a high cpu-used is several times faster
        // than the default and barely larger.
        av_dict_set(&options, "crf", "24", 0);
        av_dict_set(&options, "b", "0", 0);
        av_dict_set(&options, "deadline", "good", 0);
        av_dict_set(&options, "cpu-used", "5", 0);
        av_dict_set(&options, "row-mt", "1", 0);
    } else if (codec->id == AV_CODEC_ID_MPEG4) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 3;
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = finalPath + ": cannot start the " + name + " encoder: " + avMessage(result);
        return false;
    }
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    if ((result = avcodec_parameters_from_context(stream->codecpar, encoder)) < 0 ||
        (result = avformat_write_header(output, nullptr)) < 0) {
        error = finalPath + ": cannot start the video: " + avMessage(result);
        return false;
    }
    picture->format = encoder->pix_fmt;
    picture->width = encoder->width;
    picture->height = encoder->height;
    if ((result = av_frame_get_buffer(picture, 0)) < 0) {
        error = finalPath + ": cannot hold a video frame: " + avMessage(result);
        return false;
    }
    return true;
}

// Sends `frame` (nullptr: the end) and writes every packet the encoder has ready.
bool encode(const AVFrame* frame, std::string& error) {
    int result = avcodec_send_frame(encoder, frame);
    while (result >= 0) {
        result = avcodec_receive_packet(encoder, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) break;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_interleaved_write_frame(output, packet);  // takes the packet's data
    }
    error = finalPath + ": cannot write the video: " + avMessage(result);
    return false;
}

}  // namespace

bool openVideoFile(const std::string& path, std::string& error, int& status) {
    status = 2;
    av_log_set_level(AV_LOG_ERROR);  // the encoders' statistics are not the program's output
    chosen = nullptr;
    for (const VideoFormat& format : videoFormats) {
        const std::size_t length = std::strlen(format.ending);
        if (path.size() > length && path.compare(path.size() - length, length, format.ending) == 0) chosen = &format;
    }
    if (!chosen) {
        error = path + ": unknown video type: the name must end in " + videoEndings;
        return false;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = path + ": cannot write the video: it is a folder";
        return false;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + ": cannot write the video: there is no folder " + folder;
        return false;
    }
    finalPath = path;
    temporaryPath = path.substr(0, path.size() - base.size()) + "." + base + ".partial";
    int result = avformat_alloc_output_context2(&output, nullptr, chosen->muxer, temporaryPath.c_str());
    if (result < 0 || !output) {
        error = path + ": this FFmpeg cannot write " + chosen->ending + " files: " + avMessage(result);
        status = 1;
        return false;
    }
    if ((result = avio_open(&output->pb, temporaryPath.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = path + ": cannot write the video: " + avMessage(result);
        releaseAll();
        return false;
    }
    framesAdded = 0;
    return true;
}

bool addVideoFrame(const unsigned char* rgb, int width, int height, std::string& error) {
    if (!encoder && !startEncoder(width, height, error)) return false;
    // Top row first, each odd side padded by its last column or row.
    const int paddedWidth = evenSide(width), paddedHeight = evenSide(height);
    topDown.resize(static_cast<std::size_t>(paddedWidth) * static_cast<std::size_t>(paddedHeight) * 3);
    for (int row = 0; row < paddedHeight; ++row) {
        const int from = height - 1 - std::min(row, height - 1);
        unsigned char* line = &topDown[static_cast<std::size_t>(row) * paddedWidth * 3];
        std::memcpy(line, rgb + static_cast<std::size_t>(from) * width * 3, static_cast<std::size_t>(width) * 3);
        if (paddedWidth != width) std::memcpy(line + width * 3, line + (width - 1) * 3, 3);
    }
    // A GIF frame is not padded: its encoder takes odd sides.
    const int sourceWidth = encoder->codec_id == AV_CODEC_ID_GIF ? width : paddedWidth;
    const int sourceHeight = encoder->codec_id == AV_CODEC_ID_GIF ? height : paddedHeight;
    scaler = sws_getCachedContext(scaler, sourceWidth, sourceHeight, AV_PIX_FMT_RGB24, encoder->width,
                                  encoder->height, encoder->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                  nullptr, nullptr);
    int result = av_frame_make_writable(picture);
    if (!scaler || result < 0) {
        error = finalPath + ": cannot convert a frame for the video";
        return false;
    }
    const uint8_t* planes[1] = {topDown.data()};
    const int strides[1] = {paddedWidth * 3};
    sws_scale(scaler, planes, strides, 0, sourceHeight, picture->data, picture->linesize);
    picture->pts = framesAdded++;
    return encode(picture, error);
}

bool closeVideoFile(std::string& error) {
    if (!encoder || !encode(nullptr, error)) {
        if (!encoder) error = finalPath + ": the video has no frames";
        return false;
    }
    int result = av_write_trailer(output);
    if (result < 0) {
        error = finalPath + ": cannot finish the video: " + avMessage(result);
        return false;
    }
    result = avio_closep(&output->pb);
    if (result < 0) {
        error = finalPath + ": cannot write the video: " + avMessage(result);
        return false;
    }
    if (std::rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
        error = finalPath + ": cannot give the video its name: " + std::strerror(errno);
        return false;
    }
    temporaryPath.clear();
    releaseAll();
    return true;
}

void discardVideoFile() {
    releaseAll();
    if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
    temporaryPath.clear();
}
