// The broker and the watcher of the MQTT tests.
#include "tests/support/mqtt_broker.h"

#include "tests/support/test_support.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>
#include <mosquitto.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {
namespace {

// Runs a helper program to its end; empty on success, otherwise what it said.
QString Run(const QString& program, const QStringList& arguments, const QString& folder)
{
    TChildProgram process(program, arguments, folder);
    process.Wait(60000);
    if (!process.Succeeded())
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(process.Output());
    return {};
}

bool Listens(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    return socket.waitForConnected(1000);
}

} // namespace

void EndWithTestProgram(QProcess& process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

int FreeLocalPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

TTestCertificates MakeTestCertificates(const QString& folder)
{
    const QDir dir(folder);
    TTestCertificates made{dir.filePath(QStringLiteral("ca.pem")),
                           dir.filePath(QStringLiteral("other-ca.pem")),
                           dir.filePath(QStringLiteral("server.pem")),
                           dir.filePath(QStringLiteral("server.key")),
                           {}};
    const QString openssl = QStringLiteral("openssl");
    const QStringList steps[] = {
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Meteo test CA", "-keyout",
         "ca.key", "-out", made.CaFile},
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Another CA", "-keyout",
         "other-ca.key", "-out", made.OtherCaFile},
        {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", made.KeyFile, "-out",
         "server.csr"},
        {"x509", "-req", "-in", "server.csr", "-CA", made.CaFile, "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
         "-extfile", "server.ext", "-out", made.CertFile},
    };
    if (!WriteFileBytes(dir.filePath(QStringLiteral("server.ext")), "subjectAltName=IP:127.0.0.1,DNS:localhost\n")) {
        made.Error = QStringLiteral("server.ext not written");
        return made;
    }
    for (const QStringList& step : steps)
        if (made.Error = Run(openssl, step, folder); !made.Error.isEmpty())
            return made;
    return made;
}

TMqttBroker::TMqttBroker(const QString& folder)
    : Folder(folder)
    , FPort(FreeLocalPort())
{
    do
        FTlsPort = FreeLocalPort();
    while (FTlsPort == FPort);
}

TMqttBroker::~TMqttBroker()
{
    Kill();
}

bool TMqttBroker::Start(const TTestCertificates* certificates)
{
    const QDir dir(Folder);
    const QString passwords = dir.filePath(QStringLiteral("passwd"));
    if (!QFile::exists(passwords))
        if (FWhy = Run(QStringLiteral("mosquitto_passwd"), {"-c", "-b", passwords, User, Password}, Folder);
            !FWhy.isEmpty())
            return false;
    // Run as root, mosquitto would drop to its own user, who cannot read the test's folder.
    const passwd* self = getpwuid(getuid());
    QByteArray config = "listener " + QByteArray::number(FPort) + " 127.0.0.1\n" +
        "allow_anonymous false\npassword_file " + passwords.toUtf8() + "\npersistence false\n" +
        "log_dest stderr\nuser " + QByteArray(self != nullptr ? self->pw_name : "root") + "\n";
    Tls = certificates != nullptr;
    if (Tls)
        config += "listener " + QByteArray::number(FTlsPort) + " 127.0.0.1\ncafile " + certificates->CaFile.toUtf8() +
            "\ncertfile " + certificates->CertFile.toUtf8() + "\nkeyfile " + certificates->KeyFile.toUtf8() + "\n";
    const QString configFile = dir.filePath(QStringLiteral("mosquitto.conf"));
    if (!WriteFileBytes(configFile, config)) {
        FWhy = QStringLiteral("mosquitto.conf not written");
        return false;
    }
    Process = std::make_unique<TChildProgram>(QStringLiteral("/usr/sbin/mosquitto"), QStringList{"-c", configFile});
    const bool listening =
        PumpUntil([this] { return !Process->Running() || (Listens(FPort) && (!Tls || Listens(FTlsPort))); }) &&
        Process->Running();
    if (!listening) {
        Process->Wait(EventDeadlineMs);
        FWhy = QStringLiteral("mosquitto did not start: ") + QString::fromLocal8Bit(Process->Output());
    }
    return listening;
}

void TMqttBroker::Stop()
{
    if (!Process)
        return;
    Process->Signal(SIGTERM);
    if (!Process->Wait(EventDeadlineMs))
        Kill();
    Process.reset();
}

void TMqttBroker::Kill()
{
    if (!Process)
        return;
    Thaw();
    Process->Signal(SIGKILL);
    Process->Wait(EventDeadlineMs);
    Process.reset();
}

void TMqttBroker::Freeze()
{
    if (Process)
        Process->Signal(SIGSTOP);
}

void TMqttBroker::Thaw()
{
    if (Process)
        Process->Signal(SIGCONT);
}

struct TMqttWatcher::TState
{
    mutable std::mutex Mutex;
    std::vector<TMqttSeen> Seen;
    bool Subscribed = false;
    mosquitto* Client = nullptr;
};

TMqttWatcher::TMqttWatcher(int port, const QString& user, const QString& password)
    : State(std::make_shared<TState>())
{
    mosquitto_lib_init();
    State->Client = mosquitto_new(nullptr, true, State.get());
    mosquitto_username_pw_set(State->Client, user.toUtf8().constData(), password.toUtf8().constData());
    mosquitto_connect_callback_set(State->Client, [](mosquitto* client, void*, int rc) {
        if (rc == 0)
            mosquitto_subscribe(client, nullptr, "#", 1);
    });
    mosquitto_subscribe_callback_set(State->Client, [](mosquitto*, void* data, int, int, const int*) {
        auto* state = static_cast<TState*>(data);
        const std::lock_guard lock(state->Mutex);
        state->Subscribed = true;
    });
    mosquitto_message_callback_set(State->Client, [](mosquitto*, void* data, const mosquitto_message* message) {
        auto* state = static_cast<TState*>(data);
        const std::lock_guard lock(state->Mutex);
        state->Seen.push_back({QByteArray(message->topic),
                               QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                               message->retain});
    });
    mosquitto_connect_async(State->Client, "127.0.0.1", port, 30);
    mosquitto_loop_start(State->Client);
}

TMqttWatcher::~TMqttWatcher()
{
    mosquitto_disconnect(State->Client);
    mosquitto_loop_stop(State->Client, true);
    mosquitto_destroy(State->Client);
}

bool TMqttWatcher::WaitSubscribed()
{
    return PumpUntil([this] {
        const std::lock_guard lock(State->Mutex);
        return State->Subscribed;
    });
}

std::vector<TMqttSeen> TMqttWatcher::Seen() const
{
    const std::lock_guard lock(State->Mutex);
    return State->Seen;
}

std::vector<TMqttSeen> TMqttWatcher::SeenOn(const QByteArray& topic) const
{
    std::vector<TMqttSeen> on;
    for (const TMqttSeen& seen : Seen())
        if (seen.Topic == topic)
            on.push_back(seen);
    return on;
}

std::size_t TMqttWatcher::Count() const
{
    const std::lock_guard lock(State->Mutex);
    return State->Seen.size();
}

bool TMqttWatcher::WaitFor(const QByteArray& topic, const std::function<bool(const TMqttSeen&)>& match,
                           std::size_t from)
{
    return PumpUntil([&] {
        const std::lock_guard lock(State->Mutex);
        for (std::size_t i = from; i < State->Seen.size(); ++i)
            if (State->Seen[i].Topic == topic && match(State->Seen[i]))
                return true;
        return false;
    });
}

void TMqttWatcher::Publish(const QByteArray& topic, const QByteArray& payload, bool retain)
{
    mosquitto_publish(State->Client, nullptr, topic.constData(), static_cast<int>(payload.size()), payload.constData(),
                      1, retain);
}

} // namespace testsupport
