// The LRCLIB client against the tests' own server: every kind of answer, the query's
// encoding, the limits in time and size, redirects, TLS verification, one request per track.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "strofix_version.h"
#include "tests/fetch/local_server.h"
#include "tools/fetch/lrclib_client.h"

namespace fs = std::filesystem;
using fetch::Answer;
using fetch::Outcome;
using fetchtest::LocalServer;

namespace {

fetch::ClientOptions At(const std::string& baseUrl) {
    fetch::ClientOptions options;
    options.baseUrl = baseUrl;
    return options;
}

class LrclibClient : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-fetch-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    Answer Ask(const LocalServer& server, const fetch::Track& track,
               fetch::ClientOptions options = {}) {
        options.baseUrl = server.BaseUrl();
        fetch::Client client(options);
        return client.FetchAndWait(track);
    }

    fs::path dir_;
    const fetch::Track track_{"Some Artist", "Some Title", "Some Album", 201};
};

struct ModeCase {
    const char* mode;
    Outcome outcome;
    int status;
    const char* inError;  // a part of the error text, "" when there is none
};

TEST_F(LrclibClient, EveryKindOfAnswer) {
    const ModeCase cases[] = {
        {"synced", Outcome::Synced, 200, ""},
        {"plain", Outcome::PlainOnly, 200, ""},
        {"instrumental", Outcome::Instrumental, 200, ""},
        {"notfound", Outcome::NotFound, 404, "Failed to find specified track"},
        {"error", Outcome::Failed, 500, "HTTP 500 (Something went wrong)"},
        {"malformed", Outcome::Failed, 200, "not a JSON object"},
        {"big", Outcome::Failed, 0, "at most 1048576 are accepted"},
        {"bigstream", Outcome::Failed, 0, "longer than 1048576 bytes"},
        {"redirect", Outcome::Synced, 200, ""},
        {"redirect-away", Outcome::Failed, 302, "only redirects within the same server"},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.mode);
        LocalServer server(c.mode, dir_);
        ASSERT_TRUE(server.Up());
        const Answer a = Ask(server, track_);
        EXPECT_EQ(a.outcome, c.outcome);
        EXPECT_EQ(a.httpStatus, c.status);
        EXPECT_NE(a.error.find(c.inError), std::string::npos) << a.error;
        if (c.outcome == Outcome::Synced) {
            EXPECT_EQ(a.synced.substr(0, 30), "[00:00.00]Line 0 of Some Title");
            EXPECT_EQ(a.trackName, "Some Title");
            EXPECT_EQ(a.artistName, "Some Artist");
            EXPECT_EQ(a.duration, 201);
        }
        if (c.outcome == Outcome::PlainOnly) {
            EXPECT_EQ(a.plain, "Words without times\nof Some Title");
        }
        // A redirect within the server is followed once; one to another host never.
        const auto requests = server.Requests();
        if (std::string(c.mode) == "redirect") {
            ASSERT_EQ(requests.size(), 2u);
            EXPECT_EQ(requests[1].path, "/api/get-redirected");
            EXPECT_EQ(requests[1].query, requests[0].query);
        } else {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].path, "/api/get");
        }
    }
}

TEST_F(LrclibClient, QueryIsEncodedByteByByte) {
    LocalServer server("notfound", dir_);
    ASSERT_TRUE(server.Up());
    const fetch::Track hostile{"AC/DC & Friends + Ñandú 日本", "Rock & Roll? #1 = 100% sure",
                               "Säure;Base=1", 1234};
    Ask(server, hostile);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const fetchtest::Request& r = requests[0];
    EXPECT_EQ(r.query,
              "track_name=Rock%20%26%20Roll%3F%20%231%20%3D%20100%25%20sure"
              "&artist_name=AC%2FDC%20%26%20Friends%20%2B%20%C3%91and%C3%BA%20%E6%97%A5%E6%9C%AC"
              "&album_name=S%C3%A4ure%3BBase%3D1&duration=1234");
    // Decoded as the server decodes it, every value comes back whole.
    EXPECT_EQ(r.params.value("track_name").toString().toStdString(), hostile.title);
    EXPECT_EQ(r.params.value("artist_name").toString().toStdString(), hostile.artist);
    EXPECT_EQ(r.params.value("album_name").toString().toStdString(), hostile.album);
    EXPECT_EQ(r.params.value("duration").toString(), "1234");
    EXPECT_EQ(r.params.size(), 4);
    EXPECT_EQ(r.userAgent,
              std::string("strofix/") + STROFIX_VERSION + " (" + STROFIX_HOMEPAGE + ")");
}

TEST_F(LrclibClient, UnknownAlbumAndDurationAreLeftOut) {
    LocalServer server("notfound", dir_);
    ASSERT_TRUE(server.Up());
    Ask(server, {"A", "T", "", -1});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "track_name=T&artist_name=A");
}

TEST_F(LrclibClient, BaseUrlWithAPathPrefix) {
    EXPECT_EQ(fetch::BuildGetUrl("http://127.0.0.1:9/mirror/", {"A", "T", "", 3}).toString(),
              "http://127.0.0.1:9/mirror/api/get?track_name=T&artist_name=A&duration=3");
}

TEST_F(LrclibClient, ServerThatNeverAnswersTimesOutAfterTenSeconds) {
    LocalServer server("hang", dir_);
    ASSERT_TRUE(server.Up());
    QElapsedTimer clock;
    clock.start();
    const Answer a = Ask(server, track_);
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(a.outcome, Outcome::Failed);
    EXPECT_NE(a.error.find("timed out: no complete answer within 10 s"), std::string::npos)
        << a.error;
    EXPECT_GE(ms, 9900);
    EXPECT_LT(ms, 30000);
}

TEST_F(LrclibClient, ServerThatNeverShakesHandsTimesOutAfterFiveSeconds) {
    // A socket that listens and never speaks: over https the TLS handshake never ends.
    LocalServer server("mute", dir_);
    ASSERT_TRUE(server.Up());
    fetch::Client client(At(server.BaseUrl("https")));
    QElapsedTimer clock;
    clock.start();
    const Answer a = client.FetchAndWait(track_);
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(a.outcome, Outcome::Failed);
    EXPECT_NE(a.error.find("timed out: no connection to the server within 5 s"), std::string::npos)
        << a.error;
    EXPECT_GE(ms, 4900);
    EXPECT_LT(ms, 30000);
}

TEST_F(LrclibClient, CertificatesAreVerified) {
    const fs::path cert = dir_ / "cert.pem";
    const fs::path key = dir_ / "key.pem";
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key.string() + "' -out '" + cert.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0) << "openssl is needed (scripts/install-deps.sh)";
    LocalServer server("synced", dir_, {"--cert", cert.string(), "--key", key.string()});
    ASSERT_TRUE(server.Up());
    {
        // A certificate nobody vouches for: refused.
        fetch::Client client(At(server.BaseUrl("https")));
        const Answer a = client.FetchAndWait(track_);
        EXPECT_EQ(a.outcome, Outcome::Failed);
        EXPECT_EQ(a.httpStatus, 0);
        EXPECT_NE(a.error.find("certificate"), std::string::npos) << a.error;
    }
    EXPECT_EQ(server.Requests().size(), 0u);
    {
        // The same server, its certificate trusted: the answer comes over TLS.
        fetch::ClientOptions options = At(server.BaseUrl("https"));
        options.extraCaFile = cert.string();
        fetch::Client client(options);
        const Answer a = client.FetchAndWait(track_);
        EXPECT_EQ(a.outcome, Outcome::Synced) << a.error;
    }
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(LrclibClient, AtMostOneRequestPerTrackAndTheLoopKeepsRunning) {
    LocalServer server("hang", dir_);
    ASSERT_TRUE(server.Up());
    fetch::ClientOptions options = At(server.BaseUrl());
    options.totalTimeoutMs = 1500;
    fetch::Client client(options);
    int done = 0;
    const auto count = [&done](const Answer&) { ++done; };
    ASSERT_TRUE(client.Fetch(track_, count));
    // The same track, by another spelling of the same names: still the same track.
    EXPECT_FALSE(client.Fetch({" some artist", "SOME TITLE ", "some album", 201}, count));
    EXPECT_TRUE(client.InFlight(track_));
    EXPECT_TRUE(client.Fetch({"Other", "Track", "", -1}, count));

    // While both wait, the event loop is free: a 50 ms timer keeps firing.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done == 2) loop.quit();
    });
    poll.start(10);
    QElapsedTimer clock;
    clock.start();
    loop.exec();
    EXPECT_EQ(done, 2);
    EXPECT_GE(ticks, static_cast<int>(clock.elapsed() / 50) - 5);
    EXPECT_FALSE(client.InFlight(track_));
    EXPECT_EQ(server.Requests().size(), 2u);
    // Once the first has ended, the track may be asked for again.
    EXPECT_TRUE(client.Fetch(track_, count));
}

TEST_F(LrclibClient, NobodyListening) {
    // A port that was free a moment ago: the connection is refused at once.
    int port = 0;
    {
        LocalServer gone("notfound", dir_);
        ASSERT_TRUE(gone.Up());
        port = gone.Port();
    }
    fetch::Client client(At("http://127.0.0.1:" + std::to_string(port)));
    QElapsedTimer clock;
    clock.start();
    const Answer a = client.FetchAndWait(track_);
    EXPECT_EQ(a.outcome, Outcome::Failed);
    EXPECT_EQ(a.httpStatus, 0);
    EXPECT_NE(a.error.find("refused"), std::string::npos) << a.error;
    EXPECT_LT(clock.elapsed(), 4000);
}

TEST_F(LrclibClient, TheSystemsProxyIsUsed) {
    // The local server stands in for the proxy: it gets the request for another host.
    LocalServer proxy("synced", dir_);
    ASSERT_TRUE(proxy.Up());
    setenv("http_proxy", proxy.BaseUrl().c_str(), 1);
    fetch::Client client(At("http://lrclib.invalid"));
    const Answer a = client.FetchAndWait(track_);
    unsetenv("http_proxy");
    EXPECT_EQ(a.outcome, Outcome::Synced) << a.error;
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].path, "/api/get");
}

TEST(LrclibAnswer, ParsedByItsFields) {
    struct Case {
        int status;
        const char* body;
        Outcome outcome;
    } const cases[] = {
        {200, R"({"instrumental":true,"syncedLyrics":"[00:01.00]x"})", Outcome::Instrumental},
        {200, R"({"instrumental":false,"syncedLyrics":" \n","plainLyrics":"words"})",
         Outcome::PlainOnly},
        {200, R"({"syncedLyrics":null,"plainLyrics":null})", Outcome::NotFound},
        {200, R"({"syncedLyrics":17,"plainLyrics":["x"]})", Outcome::NotFound},
        {200, R"(["not", "an", "object"])", Outcome::Failed},
        {200, "", Outcome::Failed},
        {404, "<html>not json</html>", Outcome::NotFound},
        {503, "", Outcome::Failed},
        {204, "", Outcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(fetch::ParseAnswer(c.status, c.body).outcome, c.outcome);
    }
    // A server's message is shown bounded and without control characters.
    const std::string longMessage(500, 'm');
    const Answer a = fetch::ParseAnswer(
        500, QByteArray(R"({"message":"bad\nline)") + longMessage.c_str() + "\"}");
    EXPECT_EQ(a.error.find('\n'), std::string::npos);
    EXPECT_LT(a.error.size(), 260u);
}

TEST(LrclibBaseUrl, Checked) {
    struct Case {
        const char* url;
        bool ok;
    } const cases[] = {
        {"https://lrclib.net", true},
        {"http://127.0.0.1:8080", true},
        {"https://example.org/mirror/", true},
        {"ftp://lrclib.net", false},
        {"lrclib.net", false},
        {"https://", false},
        {"https://lrclib.net/?x=1", false},
        {"https://lrclib.net/#top", false},
        {"", false},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(fetch::ValidBaseUrl(c.url, &why), c.ok) << c.url;
        EXPECT_EQ(why.empty(), c.ok) << c.url;
    }
}

TEST(LrclibBaseUrl, BadOneFailsTheFetchWithoutARequest) {
    fetch::Client client(At("ftp://lrclib.net"));
    const Answer a = client.FetchAndWait({"A", "T", "", -1});
    EXPECT_EQ(a.outcome, Outcome::Failed);
    EXPECT_NE(a.error.find("--lrclib-url"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    // The client needs Qt's event machinery, but no display; the local server is reached
    // directly, whatever proxy the machine names.
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"}) {
        unsetenv(name);
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
