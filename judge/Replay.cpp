#include "judge/Replay.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr char     kMagic[4]      = {'L', 'R', 'P', '1'};
constexpr size_t   kHeaderSize    = 4 + 2 + 4 + 4 + 4;
constexpr uint32_t kLargestBody   = 64u << 20;  // a week of mashing is far smaller
constexpr uint64_t kLongestString = 4096;
constexpr size_t   kSmallestInput = 4;  // delta, flags, id, one position byte at least

void putVarint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

void putSigned(std::string& out, int64_t value) {
    putVarint(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}

void putString(std::string& out, const std::string& text) {
    putVarint(out, text.size());
    out += text;
}

void putFloat(std::string& out, float value) { putVarint(out, std::bit_cast<uint32_t>(value)); }

void putU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint32_t getU32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

// Reads the body front to back; the first failure sticks and names itself.
struct Reader {
    std::string_view bytes;
    size_t           at = 0;
    const char*      failure = nullptr;

    uint64_t varint() {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at >= bytes.size()) return fail("the body ends inside a number");
            const auto byte = static_cast<uint8_t>(bytes[at++]);
            value |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) return value;
        }
        return fail("a number runs past 64 bits");
    }
    int64_t signedVarint() {
        const uint64_t value = varint();
        return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
    }
    int32_t int32() {
        const int64_t value = signedVarint();
        if (value < INT32_MIN || value > INT32_MAX) return static_cast<int32_t>(fail("a count is out of range"));
        return static_cast<int32_t>(value);
    }
    float real() {
        const uint64_t value = varint();
        if (value > UINT32_MAX) return static_cast<float>(fail("a position is out of range"));
        return std::bit_cast<float>(static_cast<uint32_t>(value));
    }
    std::string text() {
        const uint64_t size = varint();
        if (size > kLongestString || size > bytes.size() - at) return fail("a name is longer than the file"), "";
        std::string value(bytes.substr(at, size));
        at += size;
        return value;
    }
    uint64_t fail(const char* why) {
        if (!failure) failure = why;
        at = bytes.size();
        return 0;
    }
};

void putResult(std::string& out, const RunResult& r) {
    for (const int32_t value : {r.score, r.perfect, r.great, r.good, r.misses, r.strays, r.highestCombo, r.highestLayer,
                                r.errorMedianUs, r.errorSpreadUs})
        putSigned(out, value);
}

RunResult getResult(Reader& in) {
    RunResult r;
    for (int32_t* field : {&r.score, &r.perfect, &r.great, &r.good, &r.misses, &r.strays, &r.highestCombo,
                           &r.highestLayer, &r.errorMedianUs, &r.errorSpreadUs})
        *field = in.int32();
    return r;
}

std::string encodeBody(const Replay& replay) {
    std::string body;
    putString(body, replay.gameVersion);
    putString(body, replay.levelName);
    body.append(reinterpret_cast<const char*>(replay.levelHash.data()), replay.levelHash.size());
    const JudgeSettings& s = replay.settings;
    putVarint(body, s.keyboardGameplay ? 1 : 0);
    putSigned(body, std::llround(s.audioOffset * 1e6));
    for (const int32_t value : {s.width, s.height, s.comboPerLayer, s.missLimit, s.layerCap}) putSigned(body, value);
    putVarint(body, replay.startStems);
    putString(body, replay.player);
    putResult(body, replay.claimed);
    putSigned(body, replay.endUs);
    putVarint(body, replay.inputs.size());
    int64_t last = replay.inputs.empty() ? 0 : replay.inputs.front().us;
    putSigned(body, last);
    for (const JudgeInput& input : replay.inputs) {
        putVarint(body, static_cast<uint64_t>(input.us - last));
        last = input.us;
        putVarint(body, static_cast<uint64_t>(input.kind) | (input.press ? 8u : 0u));
        putVarint(body, input.id + 1);  // the mouse's id wraps to 0
        putFloat(body, input.x);
        putFloat(body, input.y);
    }
    return body;
}

bool decodeBody(std::string_view body, Replay& replay, std::string& error) {
    Reader in{body};
    replay.gameVersion = in.text();
    replay.levelName   = in.text();
    if (body.size() - in.at < replay.levelHash.size()) in.fail("the body ends inside the level hash");
    else {
        std::memcpy(replay.levelHash.data(), body.data() + in.at, replay.levelHash.size());
        in.at += replay.levelHash.size();
    }
    JudgeSettings& s   = replay.settings;
    s.keyboardGameplay = in.varint() != 0;
    s.audioOffset      = static_cast<double>(in.signedVarint()) * 1e-6;
    for (int32_t* field : {&s.width, &s.height, &s.comboPerLayer, &s.missLimit, &s.layerCap}) *field = in.int32();
    replay.startStems = static_cast<uint32_t>(in.varint());
    replay.player     = in.text();
    replay.claimed    = getResult(in);
    replay.endUs      = in.signedVarint();
    const uint64_t count = in.varint();
    if (count > (body.size() - in.at) / kSmallestInput) in.fail("it counts more inputs than it holds");
    int64_t time = in.signedVarint();
    replay.inputs.clear();
    replay.inputs.reserve(in.failure ? 0 : count);
    for (uint64_t i = 0; i < count && !in.failure; ++i) {
        JudgeInput input;
        const uint64_t delta = in.varint();
        if (delta > static_cast<uint64_t>(INT64_MAX - std::max<int64_t>(time, 0))) in.fail("an input's time overflows");
        time += static_cast<int64_t>(delta);
        input.us          = time;
        const uint64_t flags = in.varint();
        if ((flags & 7) > static_cast<uint64_t>(InputKind::Resize) || flags > 15) in.fail("an input of no known kind");
        input.kind  = static_cast<InputKind>(flags & 7);
        input.press = (flags & 8) != 0;
        input.id    = in.varint() - 1;
        input.x     = in.real();
        input.y     = in.real();
        replay.inputs.push_back(input);
    }
    if (!in.failure && !replay.inputs.empty() && replay.endUs < replay.inputs.back().us)
        in.fail("the run ends before its last input");
    if (!in.failure && in.at != body.size()) in.fail("bytes follow the last input");
    if (!in.failure && (s.width < 1 || s.height < 1 || s.layerCap < 1 || s.layerCap > kLayerCap || s.missLimit < 1 ||
                        s.comboPerLayer < 1))
        in.fail("its settings are out of range");
    if (in.failure) error = std::string("Not a replay: ") + in.failure;
    return !in.failure;
}

}  // namespace

std::string encodeReplay(const Replay& replay) {
    const std::string body = encodeBody(replay);
    uLongf            size = compressBound(static_cast<uLong>(body.size()));
    std::string       packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
              static_cast<uLong>(body.size()), Z_BEST_COMPRESSION);
    packed.resize(size);
    std::string out(kMagic, sizeof kMagic);
    out.push_back(static_cast<char>(kReplayVersion & 0xff));
    out.push_back(static_cast<char>(kReplayVersion >> 8));
    putU32(out, static_cast<uint32_t>(packed.size()));
    putU32(out, static_cast<uint32_t>(body.size()));
    putU32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    return out + packed;
}

bool decodeReplay(std::string_view bytes, Replay& replay, std::string& error) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = "Not a replay: no replay header";
        return false;
    }
    const auto version = static_cast<uint16_t>(static_cast<uint8_t>(bytes[4]) | static_cast<uint8_t>(bytes[5]) << 8);
    if (version != kReplayVersion) {
        error = "Not a replay: format version " + std::to_string(version) + " is not one this game reads";
        return false;
    }
    const uint32_t packedSize = getU32(bytes, 6);
    const uint32_t bodySize   = getU32(bytes, 10);
    const uint32_t checksum   = getU32(bytes, 14);
    if (packedSize != bytes.size() - kHeaderSize || bodySize > kLargestBody) {
        error = "Not a replay: its lengths do not match the file";
        return false;
    }
    std::string body(bodySize, '\0');
    uLongf      size = bodySize;
    if (uncompress(reinterpret_cast<Bytef*>(body.data()), &size,
                   reinterpret_cast<const Bytef*>(bytes.data() + kHeaderSize), packedSize) != Z_OK ||
        size != bodySize) {
        error = "Not a replay: its body does not decompress";
        return false;
    }
    if (crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())) != checksum) {
        error = "Not a replay: wrong checksum";
        return false;
    }
    return decodeBody(body, replay, error);
}

bool hashLevelFiles(const std::vector<std::string>& paths, LevelHash& hash) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool        ok      = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    for (const std::string& path : paths) {
        std::ifstream     file(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ok = ok && file.is_open() && EVP_DigestUpdate(context, bytes.data(), bytes.size()) == 1;
    }
    unsigned int size = 0;
    ok                = ok && EVP_DigestFinal_ex(context, hash.data(), &size) == 1 && size == hash.size();
    EVP_MD_CTX_free(context);
    return ok;
}

RunResult rejudge(const Replay& replay, std::vector<JudgeStem> stems) {
    for (size_t i = 0; i < stems.size(); ++i) stems[i].active = i < 32 && (replay.startStems >> i & 1u) != 0;
    Judge judge;
    judge.logRules = false;
    judge.beginRun(std::move(stems), replay.settings);
    for (const JudgeInput& input : replay.inputs) judge.feed(input);
    judge.advanceTo(replay.endUs);
    return judge.result();
}
