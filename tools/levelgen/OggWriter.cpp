#include "tools/levelgen/OggWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace levelgen {

namespace {

constexpr uint32_t kStreamSerial = 0x4C756D6Fu;  // "Lumo"
constexpr double   kQuality      = 0.3;          // libsndfile's 0..1 scale; about 110 kbit/s

struct MemoryFile {
    std::vector<uint8_t> bytes;
    sf_count_t           position = 0;
};

sf_count_t memLength(void* user) { return sf_count_t(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t memSeek(sf_count_t offset, int whence, void* user) {
    auto*      f    = static_cast<MemoryFile*>(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->position : sf_count_t(f->bytes.size());
    f->position     = std::max<sf_count_t>(0, base + offset);
    return f->position;
}

sf_count_t memRead(void* out, sf_count_t count, void* user) {
    auto*      f     = static_cast<MemoryFile*>(user);
    sf_count_t avail = std::max<sf_count_t>(0, sf_count_t(f->bytes.size()) - f->position);
    sf_count_t n     = std::min(count, avail);
    if (n > 0) std::memcpy(out, f->bytes.data() + f->position, size_t(n));
    f->position += n;
    return n;
}

sf_count_t memWrite(const void* in, sf_count_t count, void* user) {
    auto* f   = static_cast<MemoryFile*>(user);
    auto  end = size_t(f->position + count);
    if (f->bytes.size() < end) f->bytes.resize(end);
    std::memcpy(f->bytes.data() + f->position, in, size_t(count));
    f->position += count;
    return count;
}

sf_count_t memTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

// Ogg's page checksum: CRC-32, polynomial 0x04C11DB7, no reflection, zero start.
uint32_t oggCrc(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

void putLittleEndian(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

// Rewrites the serial number of every page; false when the bytes are not whole Ogg pages.
bool fixSerialNumbers(std::vector<uint8_t>& ogg) {
    size_t at = 0;
    while (at < ogg.size()) {
        if (ogg.size() - at < 27 || std::memcmp(ogg.data() + at, "OggS", 4) != 0) return false;
        size_t segments = ogg[at + 26];
        if (ogg.size() - at < 27 + segments) return false;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += ogg[at + 27 + i];
        size_t pageSize = 27 + segments + body;
        if (ogg.size() - at < pageSize) return false;
        putLittleEndian(&ogg[at + 14], kStreamSerial);
        putLittleEndian(&ogg[at + 22], 0);
        putLittleEndian(&ogg[at + 22], oggCrc(ogg.data() + at, pageSize));
        at += pageSize;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& stereo, int sampleRate) {
    MemoryFile    file;
    SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
    SF_INFO       info{};
    info.samplerate = sampleRate;
    info.channels   = 2;
    info.format     = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* sf     = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sf) {
        std::fprintf(stderr, "levelgen: libsndfile cannot write Ogg Vorbis: %s\n", sf_strerror(nullptr));
        return {};
    }
    double quality = kQuality;
    sf_command(sf, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof(quality));
    sf_count_t frames  = sf_count_t(stereo.size() / 2);
    sf_count_t written = sf_writef_float(sf, stereo.data(), frames);
    sf_close(sf);
    if (written != frames || !fixSerialNumbers(file.bytes)) {
        std::fprintf(stderr, "levelgen: Ogg Vorbis encoding failed\n");
        return {};
    }
    return file.bytes;
}

bool decodeAudioFile(const std::string& path, std::vector<float>& samples, int& channels) {
    SF_INFO  info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return false;
    samples.assign(size_t(info.frames) * size_t(info.channels), 0.0f);
    sf_count_t read = sf_readf_float(sf, samples.data(), info.frames);
    sf_close(sf);
    channels = info.channels;
    samples.resize(size_t(read) * size_t(info.channels));
    return read == info.frames;
}

}  // namespace levelgen
