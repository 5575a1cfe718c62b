#pragma once
// A real pseudo-terminal pair made by socat: the program opens one end
// (link "a") as its serial port, the test plays the switcher on the other
// end (link "b"). Both links live in a fresh temporary folder.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair() {
        if (!dir_.isValid()) return;
        a = dir_.path() + "/a";
        b = dir_.path() + "/b";
        socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        socat_.start("socat", {"pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
        if (!socat_.waitForStarted(5000)) return;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && !(QFileInfo::exists(a) && QFileInfo::exists(b))) QThread::msleep(10);
        ready_ = QFileInfo::exists(a) && QFileInfo::exists(b);
    }
    ~PtyPair() {
        closePeer();
        stop();
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ready() const { return ready_; }
    // The device behind link "a" (/dev/pts/N).
    QString deviceA() const { return QFileInfo(a).canonicalFilePath(); }

    // The switcher's end.
    bool openPeer() {
        peer_ = ::open(QFile::encodeName(b).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return peer_ >= 0;
    }
    void closePeer() {
        if (peer_ >= 0) ::close(peer_);
        peer_ = -1;
    }
    bool peerWrite(const QByteArray& data) { return ::write(peer_, data.constData(), size_t(data.size())) == data.size(); }
    // What arrives at the switcher's end until `until` is seen or timeoutMs passes.
    QByteArray peerRead(const QByteArray& until, int timeoutMs) {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (!got.contains(until) && t.elapsed() < timeoutMs) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, int(qMax<qint64>(1, timeoutMs - t.elapsed()))) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(peer_, buf, sizeof buf);
            if (n > 0) got.append(buf, int(n));
            else if (n < 0 && errno != EAGAIN) break;
        }
        return got;
    }
    // Everything that arrives within ms.
    QByteArray peerDrain(int ms) { return peerRead(QByteArray("\x01\x02\x03never"), ms); }

    // socat stops forwarding (the switcher no longer reads) / goes on.
    void pause() { ::kill(pid_t(socat_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(socat_.processId()), SIGCONT); }
    // socat ends: both ends of the pair go away.
    void stop() {
        if (socat_.state() == QProcess::NotRunning) return;
        resume();
        socat_.terminate();
        if (!socat_.waitForFinished(3000)) {
            socat_.kill();
            socat_.waitForFinished(3000);
        }
    }

    QString a, b;

private:
    QTemporaryDir dir_;
    QProcess socat_;
    int peer_ = -1;
    bool ready_ = false;
};
