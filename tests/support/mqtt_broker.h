// A real MQTT broker for the tests and benchmarks: Debian's mosquitto on a free port of 127.0.0.1,
// with a configuration, a password file and (for TLS) certificates that the test makes in its own
// folder; and a watcher that subscribes to everything with libmosquitto and keeps what it saw.
#pragma once

#include "tests/support/child_program.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace testsupport {

// A certificate authority, a server certificate it signed for 127.0.0.1 and "localhost", and a
// second authority that signed nothing of the broker's. Error says why when openssl failed.
struct TTestCertificates
{
    QString CaFile;
    QString OtherCaFile;
    QString CertFile;
    QString KeyFile;
    QString Error;
};
TTestCertificates MakeTestCertificates(const QString& folder);

class TMqttBroker
{
public:
    inline static const QString User = QStringLiteral("meteo");
    inline static const QString Password = QStringLiteral("s3cret-Пароль");

    // The files go into `folder`; the ports are chosen now and kept across restarts.
    explicit TMqttBroker(const QString& folder);
    ~TMqttBroker();
    TMqttBroker(const TMqttBroker&) = delete;
    TMqttBroker& operator=(const TMqttBroker&) = delete;

    // Starts the broker (with TLS when `certificates` is given) and waits until it listens; false
    // with Why() when it does not.
    bool Start(const TTestCertificates* certificates = nullptr);
    void Stop(); // SIGTERM, waited for
    void Kill(); // SIGKILL, waited for
    // SIGSTOP and SIGCONT: a broker that holds its connections and answers nothing meanwhile.
    void Freeze();
    void Thaw();
    // The TLS listener's port when the broker has TLS, otherwise the plain one.
    int Port() const { return Tls ? FTlsPort : FPort; }
    // A plain listener, with or without TLS beside it.
    int PlainPort() const { return FPort; }
    QString Why() const { return FWhy; }

private:
    QString Folder;
    int FPort = 0;
    int FTlsPort = 0;
    bool Tls = false;
    QString FWhy;
    std::unique_ptr<TChildProgram> Process;
};

// Makes the process `process` starts end when this test program ends, even by a crash, so that
// no broker, bus or helper outlives the test that started it.
void EndWithTestProgram(QProcess& process);

// A free TCP port of 127.0.0.1 (free when asked: the test binds it soon after).
int FreeLocalPort();

struct TMqttSeen
{
    QByteArray Topic;
    QByteArray Payload;
    bool Retain = false;
};

// Subscribes to "#" on the broker with its own libmosquitto loop thread.
class TMqttWatcher
{
public:
    TMqttWatcher(int port, const QString& user = TMqttBroker::User, const QString& password = TMqttBroker::Password);
    ~TMqttWatcher();
    TMqttWatcher(const TMqttWatcher&) = delete;
    TMqttWatcher& operator=(const TMqttWatcher&) = delete;

    // Waits (running the event loop) until the subscription holds.
    bool WaitSubscribed();
    std::vector<TMqttSeen> Seen() const;
    // Messages on `topic` so far.
    std::vector<TMqttSeen> SeenOn(const QByteArray& topic) const;
    // Waits until a message on `topic` satisfies `match`, counting from message number `from`.
    bool WaitFor(const QByteArray& topic, const std::function<bool(const TMqttSeen&)>& match, std::size_t from = 0);
    std::size_t Count() const;
    void Publish(const QByteArray& topic, const QByteArray& payload, bool retain = false);

private:
    struct TState;
    std::shared_ptr<TState> State;
};

} // namespace testsupport
