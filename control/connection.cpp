// A client of the control socket, on its non-blocking descriptor.
#include "control/connection.h"

#include "control/protocol.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace control {

namespace {
// Bytes read ahead of the requests being served; beyond, the peer waits in
// the kernel's buffer.
constexpr qsizetype kReadAhead = 4 * kMaxLineBytes;
constexpr qsizetype kReadChunk = 64 * 1024;
}  // namespace

Connection::Connection(int fd, quint64 id, QObject* parent) : QObject(parent), fd_(fd), id_(id) {
    ucred cred {};
    socklen_t len = sizeof(cred);
    if (::getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) {
        peer_.uid = cred.uid;
        peer_.pid = cred.pid;
    }
    readNotifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
    writeNotifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, &Connection::OnReadable);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &Connection::OnWritable);
}

Connection::~Connection() { Close(); }

void Connection::Close() {
    if (fd_ < 0) return;
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    ::close(fd_);
    fd_ = -1;
    in_.clear();
    inPos_ = 0;
    out_.clear();
    outPos_ = 0;
}

void Connection::UpdateReadNotifier() {
    if (fd_ >= 0) readNotifier_->setEnabled(!readEof_ && in_.size() - inPos_ < kReadAhead);
}

void Connection::OnReadable() {
    if (fd_ < 0) return;
    if (inPos_ > 0) {
        in_.remove(0, inPos_);
        inPos_ = 0;
    }
    const qsizetype room = qMin(kReadChunk, kReadAhead - in_.size());
    if (room > 0) {
        const qsizetype old = in_.size();
        in_.resize(old + room);
        const ssize_t n = ::recv(fd_, in_.data() + old, size_t(room), MSG_DONTWAIT);
        in_.resize(old + qMax<ssize_t>(n, 0));
        if (n == 0) {
            readEof_ = true;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            Close();
            emit lost();
            return;
        }
    }
    UpdateReadNotifier();
    emit readable();
}

Connection::Taken Connection::TakeLine() {
    Taken t;
    if (fd_ < 0) return t;
    while (skipping_) {
        const qsizetype nl = in_.indexOf('\n', inPos_);
        if (nl < 0) {
            in_.clear();
            inPos_ = 0;
            UpdateReadNotifier();
            return t;
        }
        inPos_ = nl + 1;
        skipping_ = false;
    }
    const qsizetype nl = in_.indexOf('\n', inPos_);
    // Room for a "\r" before the "\n", which does not count.
    const qsizetype limit = kMaxLineBytes + 1;
    if (nl >= 0) {
        t.line = in_.mid(inPos_, nl - inPos_);
        inPos_ = nl + 1;
        t.kind = t.line.size() > limit || (t.line.size() == limit && !t.line.endsWith('\r')) ? Taken::TooLong
                                                                                               : Taken::Line;
        if (t.kind == Taken::TooLong) t.line.clear();
    } else if (in_.size() - inPos_ > limit) {
        t.kind = Taken::TooLong;
        skipping_ = true;
        in_.clear();
        inPos_ = 0;
    } else if (readEof_ && HasBufferedInput()) {
        t.line = in_.mid(inPos_);
        t.kind = Taken::Line;
        in_.clear();
        inPos_ = 0;
    }
    if (inPos_ == in_.size()) {
        in_.clear();
        inPos_ = 0;
    }
    UpdateReadNotifier();
    return t;
}

bool Connection::Send(const QByteArray& bytes) {
    if (fd_ < 0) return true;
    if (outPos_ > 0 && outPos_ >= out_.size() / 2) {
        out_.remove(0, outPos_);
        outPos_ = 0;
    }
    out_.append(bytes);
    Flush();
    return fd_ >= 0 && Queued() <= kMaxQueuedBytes;
}

void Connection::Flush() {
    while (fd_ >= 0 && Queued() > 0) {
        const ssize_t n = ::send(fd_, out_.constData() + outPos_, size_t(Queued()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            outPos_ += n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n < 0 && errno == EINTR) continue;
        Close();
        return;
    }
    if (fd_ < 0) return;
    const bool pending = Queued() > 0;
    writeNotifier_->setEnabled(pending);
    if (!pending) {
        out_.clear();
        outPos_ = 0;
    }
}

void Connection::OnWritable() {
    Flush();
    if (fd_ < 0)
        emit lost();
    else if (Queued() == 0)
        emit drained();
}

}  // namespace control
