// The capture engine when the disk fails it: an existing file is never
// truncated, a full disk ends the take with the system's cause and leaves a
// readable WAV file, a take's file that is deleted is reported, and the
// process lock of an instance.
#include "capture_test_util.h"

#include "platform/capture/wav_repair.h"
#include "platform/os.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

using namespace capture_test;

namespace {

QByteArray Digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

// RIFF size, data size, data offset and length of a WAV file.
struct WavSizes {
    quint32 riff = 0, data = 0;
    qint64 dataOffset = -1, size = 0;
};
WavSizes ReadWavSizes(const QString& path) {
    WavSizes w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return w;
    const QByteArray b = f.readAll();
    w.size = b.size();
    if (b.size() < 12) return w;
    w.riff = qFromLittleEndian<quint32>(b.constData() + 4);
    qint64 at = 12;
    while (at + 8 <= b.size()) {
        const quint32 n = qFromLittleEndian<quint32>(b.constData() + at + 4);
        if (b.mid(at, 4) == "data") {
            w.data = n;
            w.dataOffset = at + 8;
            break;
        }
        at += 8 + qint64(n) + (n & 1);
    }
    return w;
}

// A small file system of its own (tmpfs), for a disk that fills up.
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder, int kilobytes) : folder_(folder) {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0)
            mounted_ = true;
        else
            why_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString why() const { return why_; }

private:
    QString folder_;
    bool mounted_ = false;
    QString why_;
};

}  // namespace

TEST(CaptureFailures, AnExistingFileIsNeverTruncated) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    const QString path = drive.path("Pige Antenne 20240115_10_00_00.wav");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'r'));
    }
    const QByteArray before = Digest(path);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, path), -8);
    EXPECT_TRUE(e.recorder.LastErrorText().contains("File exists")) << e.recorder.LastErrorText().toStdString();
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusNone);
    // Nor a change of file into it.
    const QString other = drive.path("other.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, other), 0);
    EXPECT_EQ(e.recorder.RecorderContinueIntoFile(path), -8);
    RunEventsFor(300);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(e.waitDone());
    EXPECT_EQ(Digest(path), before);
    EXPECT_TRUE(DecodeFile(other).ok);
}

TEST(CaptureFailures, FullDiskEndsTheTakeWithItsCauseAndLeavesAReadableWav) {
    ScratchDrive drive;
    SmallDisk disk(drive.path("small"), 256);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.why().toStdString() << ")";
    ToneEngine e;
    e.setFormat(48000, 2, 16);  // 192 kB/s: the disk is full within about 1.3 s
    e.recorder.Encoder().FormatToUse = 1;
    QString causeAtStop;
    int codeAtStop = 0;
    QObject::connect(&e.recorder, &platform::ActiveSoundRecorder::RecordingStopped, [&](int, int) {
        causeAtStop = e.recorder.LastErrorText();
        codeAtStop = e.recorder.LastError();
    });
    const QString path = drive.path("small/full.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, path), 0);
    ASSERT_TRUE(e.waitDone(10000)) << e.log.events.join(",").toStdString();
    EXPECT_TRUE(e.log.events.contains("Stopped:0"));
    EXPECT_EQ(codeAtStop, -8);
    EXPECT_TRUE(causeAtStop.contains("No space left on device")) << causeAtStop.toStdString();
    EXPECT_TRUE(e.log.events.contains("FinalizationDone:1"));
    // The cause was given with the stop; the file holds what reached the disk,
    // with its header closed on it.
    const WavSizes w = ReadWavSizes(path);
    ASSERT_GT(w.dataOffset, 0);
    EXPECT_EQ(w.dataOffset + w.data, w.size);
    EXPECT_EQ(w.riff, quint32(w.size - 8));
    EXPECT_EQ(w.data % 4, 0u) << "whole sample frames";
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_GT(d.seconds(), 1.0);
    EXPECT_EQ(d.frames, qint64(w.data / 4));

    // A new take on the full disk: refused with the system's words, and no
    // empty file left behind.
    const QString next = drive.path("small/next.wav");
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, next), -8);
    EXPECT_TRUE(e.recorder.LastErrorText().contains("No space left on device")) << e.recorder.LastErrorText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(next));
}

TEST(CaptureFailures, WavHeaderIsClosedOnWhatReachedTheDisk) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 24);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().WavSampleSizeCode = 2;
    const QString path = drive.path("cut.wav");
    ASSERT_TRUE(e.record(path, 400));
    const WavSizes whole = ReadWavSizes(path);
    ASSERT_GT(whole.data, 6u * 4800);
    // As a failure leaves it: sizes not written, a sample frame cut short.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 cut = whole.dataOffset + 6 * 4800 + 4;  // 4800 frames of 6 bytes, and 4 bytes more
        ASSERT_TRUE(f.resize(cut));
        const uchar unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        f.seek(4);
        f.write(reinterpret_cast<const char*>(unknown), 4);
        f.seek(whole.dataOffset - 4);
        f.write(reinterpret_cast<const char*>(unknown), 4);
    }
    QString why;
    ASSERT_TRUE(platform::capture::RepairWavHeader(path, &why)) << why.toStdString();
    const WavSizes w = ReadWavSizes(path);
    EXPECT_EQ(w.data, 6u * 4800);
    EXPECT_EQ(w.size, w.dataOffset + 6 * 4800);
    EXPECT_EQ(w.riff, quint32(w.size - 8));
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.frames, 4800);
    EXPECT_FALSE(platform::capture::RepairWavHeader(drive.path("absent.wav"), &why));
}

TEST(CaptureFailures, DeletedFileOfATakeIsReportedAndTheTakeGoesOnIntoTheNext) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    QStringList lost;
    QObject::connect(&e.recorder, &platform::ActiveSoundRecorder::RecordingFileLost,
                     [&](int, const QString& path) { lost << path; });
    const QString first = drive.path("first.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, first), 0);
    RunEventsFor(300);
    ASSERT_TRUE(QFile::remove(first));
    ASSERT_TRUE(WaitFor([&] { return !lost.isEmpty(); }, 3000));
    EXPECT_EQ(lost, QStringList{first});
    const QString next = drive.path("next.wav");
    ASSERT_EQ(e.recorder.RecorderContinueIntoFile(next), 0);
    RunEventsFor(1500);
    EXPECT_EQ(lost.size(), 1) << "told once";
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitFor([&] { return e.log.count("FinalizationDone:0") >= 2; }, 10000));
    const Decoded d = DecodeFile(next);
    ASSERT_TRUE(d.ok);
    EXPECT_GT(d.seconds(), 1.0);
}

TEST(ProcessLock, HeldUntilTheProcessEnds) {
    ScratchDrive drive;
    const QString lock = drive.path("instance.lock");
    QString holder;
    ASSERT_TRUE(platform::AcquireProcessLock(lock, &holder)) << holder.toStdString();
    EXPECT_TRUE(platform::AcquireProcessLock(lock, &holder)) << "the holder may ask again";
    // Another process cannot take it.
    EXPECT_EQ(QProcess::execute("flock", {"-n", lock, "true"}), 1);
    EXPECT_EQ(QFile(lock).size(), QByteArray::number(qint64(::getpid())).size() + 1);

    // Held by another process: refused, with that process's id, file unchanged.
    const QString other = drive.path("other.lock");
    QProcess holderProcess;
    holderProcess.start("bash", {"-c", "exec 9>>\"$0\"; flock -n 9 || exit 3; echo $$ >\"$0\"; echo ready; exec sleep 30", other});
    ASSERT_TRUE(holderProcess.waitForReadyRead(5000));
    const QByteArray before = Digest(other);
    EXPECT_FALSE(platform::AcquireProcessLock(other, &holder));
    EXPECT_EQ(holder, "process " + QString::number(holderProcess.processId()));
    EXPECT_EQ(Digest(other), before);
    // Killed outright: the lock goes with it.
    holderProcess.kill();
    holderProcess.waitForFinished(5000);
    EXPECT_TRUE(platform::AcquireProcessLock(other, &holder)) << holder.toStdString();
}
