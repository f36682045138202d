// The public pages of lumoka-server in a real browser: Debian's chromium, headless,
// loads them from a server on loopback whose players have hostile names. What the
// browser built (its DOM) shows the names as text and holds no element of theirs;
// a screenshot is kept under the build folder for a human to look at.
#include "support/ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kHostile = "<script>alert(1)</script>";
const std::string kUpload =
    R"({"levels": [{"name": "Neon <b>Rush</b>", "scores": [{"player": "Ann", "score": 5}, {"player": "<script>alert(1)</script>", "score": 90, "highestLayer": "3/8"}]}, {"name": "Quiet", "scores": [{"player": "Bob & \"Cy\"", "score": 1}]}]})";

// chromium --headless with the given arguments; its standard output.
std::string chromium(const std::vector<std::string>& extra, const fs::path& profile) {
    std::vector<std::string> args = {"--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--user-data-dir=" + profile.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    testsupport::GameProcess         browser("/usr/bin/chromium", args, profile);
    const testsupport::ProcessResult result = browser.wait(60s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

TEST(ServerPage, TheBrowserShowsHostileNamesAsText) {
    ASSERT_TRUE(fs::exists("/usr/bin/chromium")) << "tools/setup.sh installs chromium";
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    httplib::Client client("127.0.0.1", server.port());
    ASSERT_EQ(client.Post("/api/leaderboard", kUpload, "application/json")->status, 200);
    const std::string root = "http://127.0.0.1:" + std::to_string(server.port()) + "/";

    testsupport::TempDir profile;
    const std::string    dom = chromium({"--dump-dom", root}, profile.path());
    EXPECT_NE(dom.find("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("<script"), std::string::npos) << "no script element came from a name";
    EXPECT_NE(dom.find("Neon &lt;b&gt;Rush&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(dom.find("<b>"), std::string::npos);
    EXPECT_NE(dom.find("Bob &amp; \"Cy\""), std::string::npos);
    // Best first: the hostile name's 90 ranks above Ann's 5.
    EXPECT_LT(dom.find("alert(1)"), dom.find(">Ann<"));

    const std::string level = chromium({"--dump-dom", root + "level/Neon%20%3Cb%3ERush%3C%2Fb%3E"}, profile.path());
    EXPECT_NE(level.find("<h1>Neon &lt;b&gt;Rush&lt;/b&gt;</h1>"), std::string::npos) << level;
    EXPECT_EQ(level.find("Quiet"), std::string::npos) << "only the one level";
    EXPECT_EQ(client.Get("/level/Nothing")->status, 404);

    const fs::path shot = fs::path(LUMOKA_BUILD_DIR) / "server-page.png";
    fs::remove(shot);
    chromium({"--window-size=1000,700", "--screenshot=" + shot.string(), root}, profile.path());
    EXPECT_GT(fs::exists(shot) ? fs::file_size(shot) : 0, 10000u) << shot;
}

}  // namespace
