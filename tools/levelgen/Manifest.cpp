#include "tools/levelgen/Manifest.h"

#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Music.h"

#include <nlohmann/json.hpp>

namespace levelgen {

std::string manifestText(const Song& song, const std::string& stemPrefix) {
    nlohmann::json stems = nlohmann::json::array();
    for (const Stem& s : song.stems) {
        stems.push_back({
            {"file", stemPrefix + s.name + ".ogg"},
            {"midi", stemPrefix + s.name + ".mid"},
            {"startOrder", s.startOrder},
            {"playsNotes", true},
            {"instrument", s.instrument},
            {"animation", {{"base", s.base}, {"peak", s.peak}, {"lerpSpeed", s.lerpSpeed}}},
            {"color", {s.color[0], s.color[1], s.color[2]}},
        });
    }
    nlohmann::json doc = {{"songMetaData", nlohmann::json::array({{{"bpm", double(song.bpm)}}})}, {"stems", stems}};
    return doc.dump(4);
}

std::string levelListText(const std::vector<LevelPlan>& levels) {
    nlohmann::json list = nlohmann::json::array();
    for (const LevelPlan& l : levels) {
        if (l.title.empty()) continue;
        list.push_back(
            {{"name", l.title}, {"file", l.folder}, {"difficulty", l.difficulty}, {"description", l.description}});
    }
    return list.dump(4);
}

}  // namespace levelgen
