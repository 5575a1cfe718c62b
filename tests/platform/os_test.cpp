// The operating-system layer on the real system: shell file operations on a
// scratch drive, processes, the event-loop waits, shares read from a
// generated Samba configuration, the registry file, locks.
#include "platform/os.h"

#include "platform/profile.h"
#include "support/scratch_drive.h"
#include "support/test_ini_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Sets an environment variable for the life of the object.
class EnvSetting {
public:
    EnvSetting(const char* name, const QByteArray& value)
        : name_(name), saved_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        if (value.isNull()) qunsetenv(name);
        else qputenv(name, value);
    }
    ~EnvSetting() {
        if (had_) qputenv(name_, saved_);
        else qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray saved_;
    bool had_;
};

int ExitCodeWhenDone(qint64 pid) {
    int code = 259;
    platform::WaitInEventLoop([&] { return (code = platform::ProcessExitCode(pid)) != 259; }, 10000);
    return code;
}

}  // namespace

TEST(DriveFolders, RootFromTheEnvironment) {
    {
        EnvSetting drive("VELMORA_DRIVE", "/srv/station");
        EXPECT_EQ(platform::DriveRoot(), "/srv/station/");
        EXPECT_EQ(platform::WindowsFolder(), "/srv/station/Windows/");
        EXPECT_EQ(platform::SystemFolder(), "/srv/station/Windows/System32/");
    }
    {
        EnvSetting drive("VELMORA_DRIVE", QByteArray());
        EXPECT_EQ(platform::DriveRoot(), QDir::homePath() + "/");
    }
}

TEST(SystemInformation, IdentityAndClocks) {
    const QString name = platform::ComputerName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.contains('.'));
    QHostAddress address;
    ASSERT_TRUE(address.setAddress(platform::HostAddress()));
    EXPECT_EQ(address.protocol(), QAbstractSocket::IPv4Protocol);

    // Reachable from the network when the computer is on one, even if its
    // name is mapped to a loopback address.
    QHostAddress lookedUp;
    ASSERT_TRUE(lookedUp.setAddress(platform::LookedUpHostAddress()));
    QList<QHostAddress> network;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (!(i.flags() & QNetworkInterface::IsUp) || (i.flags() & QNetworkInterface::IsLoopBack)) continue;
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol && !e.ip().isLoopback()) network << e.ip();
    }
    if (!lookedUp.isLoopback()) {
        EXPECT_EQ(address, lookedUp);
    } else if (!network.isEmpty()) {
        EXPECT_TRUE(network.contains(address)) << platform::HostAddress().toStdString();
    } else {
        EXPECT_EQ(address, QHostAddress(QStringLiteral("127.0.0.1")));
    }
    if (!network.isEmpty()) {
        EXPECT_FALSE(address.isLoopback()) << platform::HostAddress().toStdString();
    }

    const QString os = platform::OsDisplayString();
    EXPECT_TRUE(os.endsWith(platform::Is64BitOs() ? ", 64-bit" : ", 32-bit")) << os.toStdString();
    EXPECT_GT(os.size(), QString(", 64-bit").size());

    const qint64 t1 = platform::BootTimeMs();
    platform::LetEventsRunFor(30);
    const qint64 t2 = platform::BootTimeMs();
    EXPECT_GT(t1, 0);
    EXPECT_GE(t2 - t1, 25);
    EXPECT_LT(t2 - t1, 10000);
    EXPECT_LT(qAbs(platform::WallClockMs() - QDateTime::currentMSecsSinceEpoch()), 1000);
}

TEST(SystemInformation, LocaleAbbreviations) {
    EnvSetting time("LC_TIME", QByteArray());
    EnvSetting lang("LANG", QByteArray());
    const struct {
        const char* locale;
        const char* code;
    } table[] = {{"fr_BE.UTF-8", "FRB"}, {"fr_LU.UTF-8", "FRL"}, {"fr_MC", "FRM"},  {"fr_CH.UTF-8@euro", "FRS"},
                 {"fr_FR.UTF-8", "FRA"}, {"fr_CA.UTF-8", "FRC"}, {"en_US.UTF-8", "ENU"}, {"de_DE", "DED"},
                 {"C", "ENU"},           {"POSIX", "ENU"},       {"C.UTF-8", "ENU"}};
    for (const auto& row : table) {
        EnvSetting all("LC_ALL", row.locale);
        EXPECT_EQ(platform::LocaleAbbreviation(), row.code) << row.locale;
    }
    // LC_ALL first, then LC_TIME, then LANG.
    EnvSetting all("LC_ALL", QByteArray());
    EXPECT_EQ(platform::LocaleAbbreviation(), "ENU");
    EnvSetting lang2("LANG", "fr_LU.UTF-8");
    EXPECT_EQ(platform::LocaleAbbreviation(), "FRL");
    EnvSetting time2("LC_TIME", "fr_BE.UTF-8");
    EXPECT_EQ(platform::LocaleAbbreviation(), "FRB");
}

TEST(NetworkShares, ReadFromTheSambaConfiguration) {
    ScratchDrive drive;
    WriteRawFile(drive.path("smb.conf"),
                 "# station file server\n"
                 "[global]\n   workgroup = STATION\n   path = /nope\n"
                 "[homes]\n   browseable = no\n"
                 "[printers]\n   path = /var/spool/samba\n   printable = yes\n"
                 "[print$]\n   path = /var/lib/samba/printers\n"
                 "[Audio]\n   comment = the recordings\n   PATH = /srv/audio\n"
                 "; [Commented]\n;   path = /srv/commented\n"
                 "[Label Printer]\n   path = /var/spool/label\n   print ok = Yes\n"
                 "[Long]\n   path = /srv/\\\n      long\n"
                 "[Off]\n   path = /srv/off\n   available = no\n");
    EnvSetting conf("VELMORA_SMB_CONF", drive.path("smb.conf").toLocal8Bit());
    const QList<platform::Share> shares = platform::NetShares();
    ASSERT_EQ(shares.size(), 3);
    EXPECT_EQ(shares[0].name, "Audio");
    EXPECT_EQ(shares[0].type, 0);
    EXPECT_EQ(shares[0].path, "/srv/audio");
    EXPECT_EQ(shares[1].name, "Label Printer");
    EXPECT_EQ(shares[1].type, 1);
    EXPECT_EQ(shares[2].name, "Long");
    EXPECT_EQ(shares[2].path, "/srv/      long");

    EnvSetting none("VELMORA_SMB_CONF", drive.path("missing.conf").toLocal8Bit());
    EXPECT_TRUE(platform::NetShares().isEmpty());
}

TEST(Volumes, SpaceAndMountPoint) {
    ScratchDrive drive;
    const platform::VolumeSpace space = platform::VolumeSpaceOf(drive.path("not/yet/made/"));
    ASSERT_TRUE(space.ok);
    EXPECT_GT(space.total, 0u);
    EXPECT_LE(space.free, space.total);
    const QString root = platform::VolumeRootOf(drive.path("not/yet/made/file.wav"));
    EXPECT_TRUE(root.endsWith('/'));
    EXPECT_TRUE(drive.root().startsWith(root)) << root.toStdString();
}

TEST(Wildcards, WindowsRules) {
    using platform::WildcardMatch;
    EXPECT_TRUE(WildcardMatch("*.*", "README"));
    EXPECT_TRUE(WildcardMatch("*.*", "a.b.c"));
    EXPECT_TRUE(WildcardMatch("*.log", "20240319.Log"));
    EXPECT_TRUE(WildcardMatch("Pige*.wav", "Pige Studio 20240319_14_00_00.WAV"));
    EXPECT_TRUE(WildcardMatch("take?.wav", "take1.wav"));
    EXPECT_FALSE(WildcardMatch("take?.wav", "take10.wav"));
    EXPECT_FALSE(WildcardMatch("*.wav", "take.wav.bak"));
    EXPECT_TRUE(WildcardMatch("*a*b*", "xxaYYbzz"));
    EXPECT_FALSE(WildcardMatch("*a*b*", "xxbYYazz"));
    EXPECT_TRUE(WildcardMatch("", ""));
    EXPECT_FALSE(WildcardMatch("", "x"));
}

TEST(ShellFiles, CopyCodes) {
    ScratchDrive drive;
    const QString src = drive.path("take.wav");
    WriteRawFile(src, "audio");
    EXPECT_EQ(platform::ShellCopy(src, src), 113);
    EXPECT_EQ(platform::ShellCopy(drive.path("absent.wav"), drive.path("x.wav")), 1026);
    EXPECT_EQ(platform::ShellCopy(drive.path("nofolder/*.wav"), drive.path("x/")), 1026);
    EXPECT_EQ(platform::ShellCopy(src, drive.path("deep/er/copy.wav")), 0);
    EXPECT_EQ(ReadRawFile(drive.path("deep/er/copy.wav")), "audio");
    // Into an existing folder, under the same name.
    EXPECT_EQ(platform::ShellCopy(src, drive.path("deep")), 0);
    EXPECT_EQ(ReadRawFile(drive.path("deep/take.wav")), "audio");
    // Onto itself through another spelling.
    EXPECT_EQ(platform::ShellCopy(drive.path("deep/take.wav"), drive.path("deep/er/../take.wav")), 113);
    WriteRawFile(drive.path("plain"), "file");
    EXPECT_EQ(platform::ShellCopy(src, drive.path("plain/copy.wav")), 53);
    // A folder into itself.
    EXPECT_EQ(platform::ShellCopy(drive.path("deep"), drive.path("deep/er/inner")), 118);
    // A folder is copied with its content.
    EXPECT_EQ(platform::ShellCopy(drive.path("deep"), drive.path("backup")), 0);
    EXPECT_EQ(ReadRawFile(drive.path("backup/er/copy.wav")), "audio");
}

TEST(ShellFiles, DeleteCodes) {
    ScratchDrive drive;
    EXPECT_EQ(platform::ShellDelete(drive.path("absent.wav")), 2);
    EXPECT_EQ(platform::ShellDelete(drive.path("nofolder/*.*")), 2);
    EXPECT_EQ(platform::ShellDelete(""), 2);
    const QString folder = drive.makeFolder("slices/");
    WriteRawFile(folder + ".hidden.wav", "h");
    WriteRawFile(folder + "a.wav", "a");
    QDir().mkpath(folder + "keep/");
    WriteRawFile(folder + "keep/b.wav", "b");
    EXPECT_EQ(platform::ShellDelete(folder + "*.*"), 0);
    // Files only: the subfolder stays with its content.
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"keep"});
    EXPECT_TRUE(QFileInfo::exists(folder + "keep/b.wav"));
    EXPECT_EQ(platform::ShellDelete(folder + "keep/b.wav"), 0);
    EXPECT_FALSE(QFileInfo::exists(folder + "keep/b.wav"));
}

TEST(ShellFiles, FindFilesListsMatchesInOrder) {
    ScratchDrive drive;
    const QString folder = drive.makeFolder("logs/");
    for (const char* n : {"20240319.Log", "20240318.log", "notes.txt", ".20240101.Log"}) WriteRawFile(folder + n, "x");
    QDir().mkpath(folder + "old.Log");
    EXPECT_EQ(platform::FindFiles(folder + "*.Log", false),
              (QStringList{folder + ".20240101.Log", folder + "20240318.log", folder + "20240319.Log"}));
    EXPECT_EQ(platform::FindFiles(folder + "*.Log", true).size(), 4);
    EXPECT_EQ(platform::FindFiles(folder + "notes.txt", false), QStringList{folder + "notes.txt"});
    EXPECT_TRUE(platform::FindFiles(folder + "absent.txt", true).isEmpty());
    EXPECT_TRUE(platform::FindFiles(folder + "old.Log", false).isEmpty());
}

TEST(Processes, ExitCodesAreKept) {
    const qint64 pid = platform::StartProcess("sh", {"-c", "exit 3"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ExitCodeWhenDone(pid), 3);
    EXPECT_EQ(platform::ProcessExitCode(pid), 3);

    const qint64 sleeper = platform::StartProcess("sleep", {"30"});
    ASSERT_GT(sleeper, 0);
    EXPECT_EQ(platform::ProcessExitCode(sleeper), 259);
    platform::LetEventsRunFor(50);
    EXPECT_EQ(platform::ProcessExitCode(sleeper), 259);
    ::kill(pid_t(sleeper), SIGKILL);
    EXPECT_EQ(ExitCodeWhenDone(sleeper), 128 + SIGKILL);

    EXPECT_EQ(platform::StartProcess("no-such-program-here", {}), -1);
    EXPECT_EQ(platform::ProcessExitCode(-5), -1);
    // Our own process is no child but runs.
    EXPECT_EQ(platform::ProcessExitCode(::getpid()), 259);
}

TEST(EventLoop, WaitEndsAtTheDeadline) {
    QElapsedTimer t;
    t.start();
    int calls = 0;
    EXPECT_FALSE(platform::WaitInEventLoop([&] { ++calls; return false; }, 300));
    EXPECT_GE(t.elapsed(), 295);
    EXPECT_LT(t.elapsed(), 5000);
    // It slept: the condition was looked at a few dozen times, not millions.
    EXPECT_LT(calls, 1000);
    EXPECT_TRUE(platform::WaitInEventLoop([] { return true; }, 0));
}

TEST(EventLoop, WaitEndsWhenATimerSetsTheCondition) {
    bool done = false;
    QTimer::singleShot(100, [&] { done = true; });
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return done; }, 20000));
    EXPECT_GE(t.elapsed(), 90);
    EXPECT_LT(t.elapsed(), 10000);
    // Without a limit too.
    done = false;
    QTimer::singleShot(50, [&] { done = true; });
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return done; }, -1));
}

TEST(EventLoop, WaitsNestInsideEventHandlers) {
    bool outerDone = false, innerDone = false, innerResult = false, innerTimerRan = false;
    QTimer::singleShot(20, [&] {
        // An event handler that waits in turn, as the command handlers do.
        QTimer::singleShot(50, [&] { innerTimerRan = true; });
        innerResult = platform::WaitInEventLoop([&] { return innerTimerRan; }, 10000);
        innerDone = true;
    });
    QTimer::singleShot(200, [&] { outerDone = true; });
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return outerDone && innerDone; }, 20000));
    EXPECT_TRUE(innerResult);
}

TEST(EventLoop, LetEventsRunDeliversPostedWork) {
    bool ran = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    platform::LetEventsRun();
    EXPECT_TRUE(ran);
}

TEST(Registry, ValuesLiveInTheMachineFile) {
    ScratchDrive drive;
    const QString key = "Software\\Tessaline\\Velmora\\User";
    EXPECT_EQ(platform::RegistryRead(key, "UserId"), "");
    ASSERT_TRUE(platform::RegistryWrite(key, "UserId", "42"));
    ASSERT_TRUE(platform::RegistryWrite(key, "UserName", "Anne Martin"));
    ASSERT_TRUE(platform::RegistryWrite(key, "UserId", "43"));
    const QString file = drive.path("Windows/Registry/HKEY_LOCAL_MACHINE.ini");
    EXPECT_EQ(TestIniValue(file, key, "UserId"), "43");
    EXPECT_EQ(TestIniValue(file, key, "UserName"), "Anne Martin");
    EXPECT_EQ(platform::RegistryRead(key.toUpper(), "username"), "Anne Martin");
    // Long values are kept whole.
    const QString rights(68, '1');
    ASSERT_TRUE(platform::RegistryWrite(key, "UserRights", rights + rights + rights + rights));
    EXPECT_EQ(platform::RegistryRead(key, "UserRights").size(), 4 * 68);
}

TEST(Profiles, BareFileNamesAreInTheWindowsFolder) {
    ScratchDrive drive;
    drive.makeFolder("Windows/");
    WriteRawFile(drive.path("Windows/Win.ini"), "[Tessaline]\r\nUNC_Actif=ON\r\n");
    EXPECT_EQ(platform::ProfileRead("Win.ini", "tessaline", "unc_actif", "0FF"), "ON");
    EXPECT_TRUE(platform::ProfileWrite("Win.ini", "Tessaline", "INI_VELMORA", "/srv/config/"));
    EXPECT_EQ(TestIniValue(drive.path("Windows/Win.ini"), "Tessaline", "INI_VELMORA"), "/srv/config/");
    // The folder must exist; the profile layer itself creates none.
    EXPECT_FALSE(platform::ProfileWrite(drive.path("no/folder/x.ini"), "S", "K", "v"));
}

TEST(NamedLock, HeldForTheLifeOfTheProcess) {
    ScratchDrive drive;
    EnvSetting runtime("XDG_RUNTIME_DIR", drive.root().chopped(1).toLocal8Bit());
    platform::CreateNamedLock("Velmora 3.4");
    const QString file = drive.path("Velmora 3.4.lock");
    ASSERT_TRUE(QFileInfo::exists(file));
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}
