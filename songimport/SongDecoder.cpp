#include "songimport/SongDecoder.h"

#include "audio/Sound.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <vector>

namespace {

// Checked before the song is decoded whole: a 24 KB file that claims 1 Hz
// would otherwise be taken as hours of audio, gigabytes once resampled.
constexpr double   kLongestSongSeconds = 30.0 * 60.0;
constexpr int      kLowestSampleRate   = 8000;
constexpr uint64_t kMostFrames         = uint64_t(kLongestSongSeconds) * Sound::kSampleRate;

std::string tooLongText() { return "it is longer than the 30 minutes a song may last"; }

// Empty when a song of this rate and length may be decoded, else why not.
std::string sizeProblem(int sampleRate, double seconds) {
    if (sampleRate > 0 && sampleRate < kLowestSampleRate)
        return "its sample rate of " + std::to_string(sampleRate) + " Hz is under the " +
               std::to_string(kLowestSampleRate) + " Hz a song needs";
    if (seconds > kLongestSongSeconds) return tooLongText();
    return {};
}

struct FormatClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerFree {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

const char* soundError(unsigned code) {
    switch (code) {
    case Sound::kNoData: return "the file is empty";
    case Sound::kTooLong: return "the song is too long to hold in memory";
    case Sound::kConvertFailed: return "its sample rate or channels cannot be converted";
    default: return "not an audio format the game reads";
    }
}

// Converted frames appended to `pcm`; false on a resampler error.
bool appendConverted(SwrContext* resampler, const AVFrame* frame, std::vector<float>& pcm) {
    const int room = swr_get_out_samples(resampler, frame ? frame->nb_samples : 0);
    if (room < 0) return false;
    const size_t at = pcm.size();
    pcm.resize(at + size_t(room) * Sound::kChannels);
    uint8_t*  out = reinterpret_cast<uint8_t*>(pcm.data() + at);
    const int got =
        swr_convert(resampler, &out, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                    frame ? frame->nb_samples : 0);
    if (got < 0) return false;
    pcm.resize(at + size_t(got) * Sound::kChannels);
    return pcm.size() <= kMostFrames * Sound::kChannels;
}

// Decodes every frame of the stream the codec context reads; false with a reason.
bool decodeStream(AVFormatContext* format, int stream, AVCodecContext* codec, SwrContext* resampler,
                  std::vector<float>& pcm, std::string& why) {
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree>   frame(av_frame_alloc());
    auto                                  drain = [&]() {
        int result;
        while ((result = avcodec_receive_frame(codec, frame.get())) == 0) {
            if (!appendConverted(resampler, frame.get(), pcm)) return pcm.size() > kMostFrames * Sound::kChannels ? AVERROR(E2BIG) : AVERROR(EINVAL);
            av_frame_unref(frame.get());
        }
        return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : result;
    };
    int result = 0;
    while (result >= 0 && av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            result = avcodec_send_packet(codec, packet.get());
            if (result >= 0) result = drain();
        }
        av_packet_unref(packet.get());
    }
    if (result >= 0) result = avcodec_send_packet(codec, nullptr);
    if (result >= 0) result = drain();
    if (result >= 0 && !appendConverted(resampler, nullptr, pcm)) result = AVERROR(EINVAL);
    if (result == AVERROR(E2BIG)) why = tooLongText();
    else if (result < 0) why = "the audio data is damaged (" + avError(result) + ")";
    return result >= 0;
}

bool decodeWithFfmpeg(const std::string& path, std::vector<float>& pcm, std::string& why) {
    AVFormatContext* opened = nullptr;
    int              result = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        why = "not an audio format the game reads (" + avError(result) + ")";
        return false;
    }
    std::unique_ptr<AVFormatContext, FormatClose> format(opened);
    const AVCodec*                                decoder = nullptr;
    const int                                     stream  = avformat_find_stream_info(format.get(), nullptr) < 0
                                                                ? -1
                                                                : av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder) {
        why = "the file holds no audio the game can decode";
        return false;
    }
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const double seconds = format->duration > 0 ? double(format->duration) / AV_TIME_BASE : 0.0;
    why                  = sizeProblem(parameters->sample_rate, seconds);
    if (!why.empty()) return false;
    std::unique_ptr<AVCodecContext, CodecFree> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        why = std::string("its codec (") + decoder->name + ") cannot be opened";
        return false;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext*     made   = nullptr;
    if (swr_alloc_set_opts2(&made, &stereo, AV_SAMPLE_FMT_FLT, Sound::kSampleRate, &codec->ch_layout, codec->sample_fmt,
                            codec->sample_rate, 0, nullptr) < 0 ||
        swr_init(made) < 0) {
        swr_free(&made);
        why = "its sample format cannot be converted";
        return false;
    }
    std::unique_ptr<SwrContext, ResamplerFree> resampler(made);
    return decodeStream(format.get(), stream, codec.get(), resampler.get(), pcm, why);
}

// The rate and length the file's header gives, before anything is decoded.
std::string probedSizeProblem(const void* bytes, size_t size) {
    int      rate   = 0;
    uint64_t frames = 0;
    if (!Sound::probe(bytes, size, rate, frames) || rate <= 0) return {};
    return sizeProblem(rate, double(frames) / rate);
}

bool decodeWithGameDecoder(const std::string& path, DecodedSong& out, unsigned& code, std::string& why) {
    size_t size  = 0;
    void*  bytes = SDL_LoadFile(path.c_str(), &size);
    if (!bytes) {
        why = std::string("cannot be read (") + SDL_GetError() + ")";
        return false;
    }
    why = probedSizeProblem(bytes, size);
    if (!why.empty()) {
        SDL_free(bytes);
        return false;
    }
    Sound sound;
    code = sound.loadMem(bytes, size);
    SDL_free(bytes);
    if (code != Sound::kOk) return false;
    // The game keeps 16-bit samples; the analysis wants floats.
    const uint64_t count = sound.frameCount() * Sound::kChannels;
    auto           pcm   = std::shared_ptr<float[]>(new float[count]);
    for (uint64_t i = 0; i < count; ++i) pcm[i] = float(sound.samples()[i]) / 32768.0f;
    out.samples       = pcm;
    out.frames        = sound.frameCount();
    out.gamePlaysFile = true;
    return true;
}

}  // namespace

double DecodedSong::seconds() const { return double(frames) / Sound::kSampleRate; }

bool decodeSong(const std::string& path, DecodedSong& out, std::string& why) {
    out           = {};
    unsigned code = Sound::kOk;
    if (decodeWithGameDecoder(path, out, code, why)) return true;
    if (!why.empty()) return false;  // unreadable: no decoder will do better
    // libsndfile gives up on some files FFmpeg reads (MP3s whose length it
    // misjudges); such a song is then re-encoded for the game.
    if (code != Sound::kUnrecognised && code != Sound::kDecodeFailed) {
        why = soundError(code);
        return false;
    }
    auto pcm = std::make_shared<std::vector<float>>();
    if (!decodeWithFfmpeg(path, *pcm, why)) return false;
    if (pcm->empty()) {
        why = "the file holds no audio frames";
        return false;
    }
    pcm->shrink_to_fit();
    out.frames  = pcm->size() / Sound::kChannels;
    out.samples = std::shared_ptr<const float[]>(pcm, pcm->data());
    return true;
}
