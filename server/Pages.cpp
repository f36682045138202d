#include "server/Pages.h"

#include "leaderboard/LeaderboardProtocol.h"
#include "server/LeaderboardStore.h"

#include <algorithm>

namespace {

constexpr const char* kStyle = R"css(
body { margin: 0; padding: 2rem; background: #07060f; color: #d8d4ff; font: 16px/1.5 system-ui, sans-serif; }
h1 { color: #ff4fd8; text-shadow: 0 0 12px #ff4fd8aa; letter-spacing: 0.08em; text-transform: uppercase; }
h2 a { color: #38f2ff; text-shadow: 0 0 10px #38f2ff88; text-decoration: none; }
section { margin: 1.5rem 0; padding: 1rem 1.5rem; border: 1px solid #38f2ff55; border-radius: 12px;
          background: #0e0c1f; box-shadow: 0 0 18px #38f2ff22; }
table { border-collapse: collapse; width: 100%; }
th { color: #9b8cff; text-align: left; font-weight: 600; border-bottom: 1px solid #9b8cff55; }
td, th { padding: 0.3rem 0.8rem; }
td.score { color: #ffe14f; font-variant-numeric: tabular-nums; }
tr:nth-child(even) td { background: #15122b; }
p.empty, footer { color: #7d78a8; }
)css";

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
           escapeHtml(title) + "</title><style>" + kStyle + "</style></head><body>" + body +
           "<footer>Lumoka leaderboard</footer></body></html>\n";
}

// The store hands entries best first: the rank is the place.
std::string table(const LeaderboardLevel& level, int64_t firstRank) {
    std::string html =
        "<table><tr><th>#</th><th>Player</th><th>Score</th><th>Layer</th><th>Combo</th><th>Time</th></tr>";
    for (size_t i = 0; i < level.scores.size(); ++i) {
        const LeaderboardEntry& entry = level.scores[i];
        html += "<tr><td>" + std::to_string(firstRank + static_cast<int64_t>(i) + 1) + "</td><td>" +
                escapeHtml(entry.player) + "</td><td class=\"score\">" + std::to_string(entry.score) + "</td><td>" +
                escapeHtml(entry.highestLayer) + "</td><td>" + std::to_string(entry.highestCombo) + "</td><td>" +
                std::to_string(entry.time) + " s</td></tr>";
    }
    return html + "</table>";
}

std::string levelLink(const std::string& name, int64_t from, const std::string& text) {
    return "<a href=\"/level/" + percentEncodeSegment(name) + (from > 0 ? "?from=" + std::to_string(from) : "") +
           "\">" + text + "</a>";
}

std::string section(const PageLevel& level, int64_t firstRank, const std::string& more) {
    const std::string& name = level.level.name;
    return "<section><h2>" + levelLink(name, 0, escapeHtml(name)) + "</h2>" + table(level.level, firstRank) +
           (level.moreEntries ? "<p>" + more + "</p>" : "") + "</section>";
}

}  // namespace

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string leaderboardPage(const Page& shown, int64_t first) {
    std::string body = "<h1>Leaderboard</h1>";
    if (shown.levels.empty()) body += "<p class=\"empty\">No scores yet.</p>";
    for (const PageLevel& level : shown.levels) {
        body += section(level, 0, levelLink(level.level.name, 0, "All scores"));
    }
    std::string links;
    if (first > 0) {
        const int64_t previous = std::max<int64_t>(0, first - static_cast<int64_t>(kPageLevelsShown));
        links += "<a href=\"/" + (previous > 0 ? "?from=" + std::to_string(previous) : std::string()) +
                 "\">Previous levels</a> ";
    }
    if (shown.nextLevel >= 0) links += "<a href=\"/?from=" + std::to_string(shown.nextLevel) + "\">More levels</a>";
    if (!links.empty()) body += "<p>" + links + "</p>";
    return page("Lumoka leaderboard", body);
}

std::string levelPage(const std::string& name, const PageLevel* level, int64_t firstRank) {
    std::string body = "<h1>" + escapeHtml(name) + "</h1>";
    if (level == nullptr) {
        body += "<p class=\"empty\">No such level.</p>";
    } else {
        const auto    shown = static_cast<int64_t>(kPageEntriesShown);
        const int64_t next  = firstRank + static_cast<int64_t>(level->level.scores.size());
        std::string   links =
            firstRank > 0 ? levelLink(name, std::max<int64_t>(0, firstRank - shown), "Better scores") + " " : "";
        body += section(*level, firstRank, links + levelLink(name, next, "More scores"));
        if (!level->moreEntries && firstRank > 0) body += "<p>" + links + "</p>";
    }
    return page(name + " - Lumoka leaderboard", body + "<p><a href=\"/\">All levels</a></p>");
}
