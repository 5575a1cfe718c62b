#pragma once
// One client of the control socket: its descriptor, what it sent that is not
// handled yet, and what waits to be sent to it. Never blocks: reads and
// writes happen when the event loop says the descriptor is ready; a peer
// that stops reading is reported once its queue passes the protocol's limit.
#include "control/control_target.h"

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace control {

class Connection : public QObject {
    Q_OBJECT
public:
    // Takes the accepted, non-blocking descriptor.
    Connection(int fd, quint64 id, QObject* parent);
    ~Connection() override;

    quint64 id() const { return id_; }
    const Caller& peer() const { return peer_; }

    struct Taken {
        enum Kind { None, Line, TooLong } kind = None;
        QByteArray line;
    };
    // The next complete line ("\n" taken off), a line over the limit (its
    // bytes are skipped up to its end), or nothing yet. After the peer ended
    // its sending, what remains without "\n" counts as a last line.
    Taken TakeLine();

    // Queues bytes for the peer and writes what the kernel takes now. False
    // when the peer is gone (closed()) or when more than the protocol's
    // limit waits for it: the caller drops it. Never emits lost().
    bool Send(const QByteArray& bytes);
    qint64 Queued() const { return out_.size() - outPos_; }

    bool readEnded() const { return readEof_; }
    bool closed() const { return fd_ < 0; }
    // Nothing more will come and nothing waits to go out.
    bool Finished() const { return closed() || (readEof_ && !HasBufferedInput() && Queued() == 0); }
    // Closes the descriptor at once; what waited to be sent is lost.
    void Close();

    // Server bookkeeping.
    bool busy = false;        // a request of this peer is being served
    bool subscribed = false;
    bool levels = false;

signals:
    // New bytes arrived, or the peer ended its sending.
    void readable();
    // The peer went away (reset, or a write failed): the server removes it.
    void lost();
    // The queue has just been written out completely.
    void drained();

private:
    void OnReadable();
    void OnWritable();
    void Flush();
    bool HasBufferedInput() const { return inPos_ < in_.size(); }
    void UpdateReadNotifier();

    int fd_;
    quint64 id_;
    Caller peer_;
    QByteArray in_;
    qsizetype inPos_ = 0;
    bool skipping_ = false;   // inside a line over the limit
    bool readEof_ = false;
    QByteArray out_;
    qsizetype outPos_ = 0;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
};

}  // namespace control
