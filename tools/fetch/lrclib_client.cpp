#include "tools/fetch/lrclib_client.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <utility>

#include "strofix_version.h"

namespace fetch {

namespace {

std::string Trimmed(const std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string Str(const QJsonValue& v) {
    return v.isString() ? v.toString().toStdString() : std::string();
}

// A server's own words, bounded: at most 200 bytes, control characters as spaces.
std::string ServerMessage(const QByteArray& body) {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    std::string text = doc.isObject() ? Str(doc.object().value("message")) : std::string();
    if (text.size() > 200) text.resize(200);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return text;
}

std::string SecondsText(int ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000);
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

// One request's state while it runs.
struct Running {
    QByteArray body;
    std::string abortReason;  // set when we cut the request short
    QTimer connectTimer;
    QTimer totalTimer;
};

}  // namespace

std::string UserAgent() {
    return std::string("strofix/") + STROFIX_VERSION + " (" + STROFIX_HOMEPAGE + ")";
}

bool ValidBaseUrl(const std::string& url, std::string* error) {
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    std::string why;
    if (!u.isValid()) {
        why = "not a valid URL";
    } else if (u.scheme() != "http" && u.scheme() != "https") {
        why = "the URL must start with https:// (or http://)";
    } else if (u.host().isEmpty()) {
        why = "the URL names no host";
    } else if (u.hasQuery() || u.hasFragment()) {
        why = "the base URL must not hold a query or a fragment";
    }
    if (why.empty()) return true;
    if (error != nullptr) *error = "'" + url + "': " + why;
    return false;
}

QUrl BuildGetUrl(const std::string& baseUrl, const Track& track) {
    QUrl url(QString::fromStdString(baseUrl), QUrl::StrictMode);
    QString path = url.path();
    while (path.endsWith('/')) path.chop(1);
    url.setPath(path + "/api/get");
    // Every byte but the unreserved ones is percent-encoded by hand: a query builder that
    // leaves '+' as it is would have the server read it as a space.
    const auto param = [](const char* name, const std::string& value) {
        return QByteArray(name) + '=' + QUrl::toPercentEncoding(QByteArray::fromStdString(value));
    };
    QByteArray query = param("track_name", track.title) + '&' + param("artist_name", track.artist);
    if (!track.album.empty()) query += '&' + param("album_name", track.album);
    if (track.durationSeconds >= 0)
        query += "&duration=" + QByteArray::number(track.durationSeconds);
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

Answer ParseAnswer(int httpStatus, const QByteArray& body) {
    Answer a;
    a.httpStatus = httpStatus;
    if (httpStatus == 404) {
        a.outcome = Outcome::NotFound;
        const std::string message = ServerMessage(body);
        a.error = message.empty() ? "LRCLIB has no such track" : "LRCLIB: " + message;
        return a;
    }
    if (httpStatus != 200) {
        a.outcome = Outcome::Failed;
        const std::string message = ServerMessage(body);
        a.error = "the server answered HTTP " + std::to_string(httpStatus) +
                  (message.empty() ? "" : " (" + message + ")");
        return a;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        a.outcome = Outcome::Failed;
        a.error = "the server's answer is not a JSON object" +
                  (parseError.error != QJsonParseError::NoError
                       ? " (" + parseError.errorString().toStdString() + " at byte " +
                             std::to_string(parseError.offset) + ")"
                       : std::string());
        return a;
    }
    const QJsonObject o = doc.object();
    a.trackName = Str(o.value("trackName"));
    a.artistName = Str(o.value("artistName"));
    a.albumName = Str(o.value("albumName"));
    a.duration = o.value("duration").toDouble(0);
    a.synced = Str(o.value("syncedLyrics"));
    a.plain = Str(o.value("plainLyrics"));
    if (o.value("instrumental").toBool(false)) {
        a.outcome = Outcome::Instrumental;
    } else if (!Trimmed(a.synced).empty()) {
        a.outcome = Outcome::Synced;
    } else if (!Trimmed(a.plain).empty()) {
        a.outcome = Outcome::PlainOnly;
    } else {
        a.outcome = Outcome::NotFound;
        a.error = "LRCLIB knows the track but holds no lyrics for it";
    }
    return a;
}

std::string TrackKey(const Track& track) {
    return LowerAscii(Trimmed(track.artist)) + '\x1f' + LowerAscii(Trimmed(track.title)) + '\x1f' +
           LowerAscii(Trimmed(track.album)) + '\x1f' + std::to_string(track.durationSeconds);
}

Client::Client(ClientOptions options)
    : options_(std::move(options)), manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setAutoDeleteReplies(false);
    // The proxy the user's system names (https_proxy and the like), as other programs use.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

Client::~Client() {
    // Requests still running end here without their callbacks.
    for (QNetworkReply* reply : manager_->findChildren<QNetworkReply*>()) {
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->abort();
        delete reply;
    }
}

bool Client::InFlight(const Track& track) const {
    return inFlight_.count(TrackKey(track)) > 0;
}

bool Client::Fetch(const Track& track, Done done) {
    const std::string key = TrackKey(track);
    if (inFlight_.count(key) > 0) return false;

    std::string why;
    if (!ValidBaseUrl(options_.baseUrl, &why)) {
        QTimer::singleShot(0, manager_.get(), [done, why] {
            Answer a;
            a.error = "--lrclib-url " + why;
            done(a);
        });
        return true;
    }

    QNetworkRequest request(BuildGetUrl(options_.baseUrl, track));
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString(UserAgent()));
    request.setRawHeader("Accept", "application/json");
    // Redirects are followed only within the same scheme, host and port: the listening
    // data in the query goes to no other server than the one the user chose.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!options_.extraCaFile.empty()) {
        tls.addCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(options_.extraCaFile)));
    }
    request.setSslConfiguration(tls);

    QNetworkReply* reply = manager_->get(request);
    reply->setReadBufferSize(64 * 1024);
    inFlight_.insert(key);
    auto state = std::make_shared<Running>();
    const std::int64_t maxBody = options_.maxBodyBytes;
    const QPointer<QNetworkReply> guard(reply);
    const auto cut = [guard, state](std::string reason) {
        if (!guard || !state->abortReason.empty()) return;
        state->abortReason = std::move(reason);
        guard->abort();
    };

    for (QTimer* t : {&state->connectTimer, &state->totalTimer}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5 % early
    }
    QObject::connect(&state->connectTimer, &QTimer::timeout, reply, [cut, this] {
        cut("timed out: no connection to the server within " +
            SecondsText(options_.connectTimeoutMs) + " s");
    });
    QObject::connect(&state->totalTimer, &QTimer::timeout, reply, [cut, this] {
        cut("timed out: no complete answer within " + SecondsText(options_.totalTimeoutMs) + " s");
    });
    QObject::connect(reply, &QNetworkReply::requestSent, reply,
                     [state] { state->connectTimer.stop(); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cut, maxBody] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBody) {
            cut("the answer is " + std::to_string(length.toLongLong()) + " bytes long; at most " +
                std::to_string(maxBody) + " are accepted");
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state, cut, maxBody] {
        state->body += reply->readAll();
        if (state->body.size() > maxBody) {
            cut("the answer is longer than " + std::to_string(maxBody) + " bytes; refused");
            state->body.clear();
        }
    });
    QObject::connect(
        reply, &QNetworkReply::finished, manager_.get(), [this, reply, state, key, done] {
            state->connectTimer.stop();
            state->totalTimer.stop();
            if (state->abortReason.empty()) state->body += reply->readAll();
            Answer a;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (!state->abortReason.empty()) {
                a.error = state->abortReason;
            } else if (state->body.size() > options_.maxBodyBytes) {
                a.error = "the answer is longer than " + std::to_string(options_.maxBodyBytes) +
                          " bytes; refused";
            } else if (reply->error() == QNetworkReply::InsecureRedirectError ||
                       (status.isValid() && status.toInt() >= 300 && status.toInt() < 400)) {
                const QUrl target =
                    reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
                a.httpStatus = status.toInt();
                a.error = "the server redirected to " +
                          reply->url().resolved(target).toString(QUrl::RemoveQuery).toStdString() +
                          "; only redirects within the same server are followed";
            } else if (status.isValid()) {
                a = ParseAnswer(status.toInt(), state->body);
            } else {
                a.error = reply->errorString().toStdString();
            }
            inFlight_.erase(key);
            reply->deleteLater();
            done(a);
        });
    state->connectTimer.start(options_.connectTimeoutMs);
    state->totalTimer.start(options_.totalTimeoutMs);
    return true;
}

Answer Client::FetchAndWait(const Track& track) {
    QEventLoop loop;
    Answer answer;
    bool finished = false;
    if (!Fetch(track, [&](const Answer& a) {
            answer = a;
            finished = true;
            loop.quit();
        })) {
        answer.error = "a request for this track is already running";
        return answer;
    }
    if (!finished) loop.exec();
    return answer;
}

}  // namespace fetch
