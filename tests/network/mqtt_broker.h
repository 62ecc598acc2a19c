#pragma once
// A real MQTT broker for the tests: Debian's mosquitto on a free port of 127.0.0.1, with its
// persistence file in a folder of its own (saved every second, so that a killed broker comes
// back with its subscribers and what it kept for them), optionally with users and TLS; and an independent subscriber,
// mosquitto_sub, whose messages the test reads.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace velmora::test {

inline QString mosquittoProgram() {
  for (const char* p : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"})
    if (QFile::exists(p)) return p;
  return {};
}

inline int freePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

inline bool accepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// Runs a program to its end; its exit code (-1 when it could not run).
inline int run(const QString& program, const QStringList& args, const QString& folder = {}) {
  QProcess p;
  if (!folder.isEmpty()) p.setWorkingDirectory(folder);
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return -1;
  return p.exitCode();
}

struct Tls {
  QString caFile, certFile, keyFile;
};

// A test CA and a server certificate for localhost and 127.0.0.1 signed by it.
inline bool makeTestCa(const QString& folder, const QString& name, Tls& out) {
  const QString ca = folder + "/" + name + "-ca";
  const QString server = folder + "/" + name + "-server";
  QFile ext(folder + "/" + name + ".ext");
  if (!ext.open(QIODevice::WriteOnly)) return false;
  ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
  ext.close();
  const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  if (run("openssl", QStringList{"req", "-x509"} + ec +
                         QStringList{"-keyout", ca + ".key", "-out", ca + ".crt", "-subj", "/CN=" + name + " test CA", "-days", "2"}) != 0)
    return false;
  if (run("openssl", QStringList{"req"} + ec +
                         QStringList{"-keyout", server + ".key", "-out", server + ".csr", "-subj", "/CN=localhost"}) != 0)
    return false;
  if (run("openssl", {"x509", "-req", "-in", server + ".csr", "-CA", ca + ".crt", "-CAkey", ca + ".key", "-CAcreateserial",
                      "-out", server + ".crt", "-days", "2", "-extfile", ext.fileName()}) != 0)
    return false;
  out = {ca + ".crt", server + ".crt", server + ".key"};
  return true;
}

class Broker {
 public:
  // users: name → password (none: anonymous clients allowed); tls: the listener's certificate.
  explicit Broker(std::map<QString, QString> users = {}, std::optional<Tls> tls = std::nullopt)
      : m_port(freePort()) {
    QDir(m_dir.path()).mkpath("store");
    QString conf = QString("listener %1 127.0.0.1\npersistence true\npersistence_location %2/store/\n"
                           "autosave_interval 1\nlog_dest file %2/mosquitto.log\n")
                       .arg(m_port)
                       .arg(m_dir.path());
    // Started as root, mosquitto would become the user "mosquitto", who cannot read this folder.
    if (::geteuid() == 0) conf += "user root\n";
    if (users.empty()) {
      conf += "allow_anonymous true\n";
    } else {
      const QString file = m_dir.filePath("passwords");
      QFile(file).open(QIODevice::WriteOnly);
      for (const auto& [user, password] : users) run("mosquitto_passwd", {"-b", file, user, password});
      conf += "allow_anonymous false\npassword_file " + file + "\n";
    }
    if (tls) conf += "cafile " + tls->caFile + "\ncertfile " + tls->certFile + "\nkeyfile " + tls->keyFile + "\n";
    QFile f(m_dir.filePath("mosquitto.conf"));
    f.open(QIODevice::WriteOnly);
    f.write(conf.toUtf8());
  }
  ~Broker() { kill(); }

  bool start() {
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(mosquittoProgram(), {"-c", m_dir.filePath("mosquitto.conf")});
    return QTest::qWaitFor([&] { return m_process.state() == QProcess::Running && accepts(m_port); }, 10000);
  }
  void kill() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(5000);
  }
  int port() const { return m_port; }
  QString url(const char* scheme = "tcp") const { return QString("%1://127.0.0.1:%2").arg(scheme).arg(m_port); }

 private:
  QTemporaryDir m_dir;
  int m_port;
  QProcess m_process;
};

struct Message {
  QString topic;
  QByteArray payload;
};

// mosquitto_sub on velmora/v1/#, QoS 1, with a fixed client id and clean start off: the broker
// keeps its subscription and queued messages while it is away.
class Subscriber {
 public:
  Subscriber(const Broker& broker, QStringList extra = {}) {
    m_process.start("mosquitto_sub", QStringList{"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q", "1", "-c",
                                                 "-i", "velmora-test-subscriber", "-F", "%t\\t%p", "-t", "velmora/v1/#"} +
                                         extra);
  }
  ~Subscriber() {
    m_process.kill();
    m_process.waitForFinished(5000);
  }
  // Everything received so far, in the order it came.
  const std::vector<Message>& messages() {
    m_buffer += m_process.readAllStandardOutput();
    for (int nl; (nl = m_buffer.indexOf('\n')) >= 0; m_buffer.remove(0, nl + 1)) {
      const QByteArray line = m_buffer.left(nl);
      const int blank = line.indexOf('\t');
      m_messages.push_back({QString::fromUtf8(line.left(blank)), blank < 0 ? QByteArray() : line.mid(blank + 1)});
    }
    return m_messages;
  }
  std::vector<Message> on(const QString& topic) {
    std::vector<Message> out;
    for (const auto& m : messages())
      if (m.topic == topic) out.push_back(m);
    return out;
  }
  bool running() const { return m_process.state() == QProcess::Running; }
  // True once the subscription stands: a probe published (again every two seconds) came back.
  bool ready(const Broker& broker) {
    const QString probe = "velmora/v1/_test/_probe/ready";
    for (int attempt = 0; attempt < 10; ++attempt) {
      run("mosquitto_pub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q", "1", "-t", probe, "-m", "x"});
      if (QTest::qWaitFor([&] { return !on(probe).empty(); }, 2000)) return true;
    }
    return false;
  }

 private:
  QProcess m_process;
  QByteArray m_buffer;
  std::vector<Message> m_messages;
};

}  // namespace velmora::test
