// Names of the files recordings create: what is cleaned out, how long names
// are shortened, and the suffix that keeps an existing file untouched.
#include "support/file_names.h"

#include "support/scratch_drive.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

int Bytes(const QString& s) { return int(s.toUtf8().size()); }

void Touch(const QString& path, const QByteArray& content = "take") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

}  // namespace

TEST(FileNames, ControlCharactersAndNulGo) {
    const QString label = QString("Ant") + QChar(0) + "en\tne\r\n" + QChar(0x1B) + QChar(0x7F) + QChar(0x85) + " é";
    EXPECT_EQ(StripControlCharacters(label), "Antenne é");
    EXPECT_EQ(StripControlCharacters("Pige Antenne"), "Pige Antenne");
}

TEST(FileNames, LongNamesKeepTheirDateAndFitOnACharacterBoundary) {
    const QString date = "20240115_10_20_30";
    const QString label = QString(150, QChar(0xE9));  // "é": two bytes each, 300 bytes
    const QString base = "Pige " + label + " " + date;
    const QString fitted = FitFileName(base, ".wav", 255);
    EXPECT_LE(Bytes(fitted + ".wav"), 255);
    EXPECT_GE(Bytes(fitted + ".wav"), 254) << "no more is cut than needed";
    EXPECT_TRUE(fitted.startsWith("Pige éé"));
    EXPECT_TRUE(fitted.endsWith(" " + date)) << fitted.toStdString();
    // Whole characters only: the UTF-8 text reads back as written.
    EXPECT_EQ(QString::fromUtf8(fitted.toUtf8()), fitted);
    EXPECT_FALSE(fitted.contains(QChar::ReplacementCharacter));

    // Characters outside the basic plane (four bytes, two UTF-16 units) go whole.
    const QString notes = QString::fromUtf8("\xF0\x9D\x84\x9E").repeated(80);  // 320 bytes
    const QString cut = FitFileName(notes + " " + date, " (2).mp3", 100);
    EXPECT_LE(Bytes(cut + " (2).mp3"), 100);
    EXPECT_TRUE(cut.endsWith(date));
    EXPECT_FALSE(cut.at(0).isLowSurrogate());
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut);

    // A date in front: the text after it gives way.
    const QString front = FitFileName(date + " " + QString(300, 'x'), ".wav", 64);
    EXPECT_TRUE(front.startsWith(date));
    EXPECT_EQ(Bytes(front + ".wav"), 64);
    // Without a date, the end of the name goes.
    EXPECT_EQ(FitFileName(QString(40, 'a'), ".ogg", 20), QString(16, 'a'));
    // A name that fits is left alone.
    EXPECT_EQ(FitFileName("Pige Antenne " + date, ".wav", 255), "Pige Antenne " + date);
}

TEST(FileNames, ExistingFilesKeepTheirNameAndTheNewOneGetsASuffix) {
    ScratchDrive drive;
    const QString folder = drive.root();
    NewFilePath p = NewFileIn(folder, "Pige Antenne 20240115_10_20_30", ".wav");
    EXPECT_EQ(p.path, folder + "Pige Antenne 20240115_10_20_30.wav");
    EXPECT_EQ(p.suffix, 1);
    Touch(p.path);
    p = NewFileIn(folder, "Pige Antenne 20240115_10_20_30", ".wav");
    EXPECT_EQ(p.path, folder + "Pige Antenne 20240115_10_20_30 (2).wav");
    EXPECT_EQ(p.name, "Pige Antenne 20240115_10_20_30 (2)");
    EXPECT_EQ(p.suffix, 2);
    Touch(p.path);
    // A folder of that name, or a link to nowhere, counts as taken as well.
    QDir().mkpath(folder + "Pige Antenne 20240115_10_20_30 (3).wav");
    QFile::link(folder + "nowhere", folder + "Pige Antenne 20240115_10_20_30 (4).wav");
    EXPECT_EQ(NewFileIn(folder, "Pige Antenne 20240115_10_20_30", ".wav").suffix, 5);
    // A suffix found taken meanwhile: the search goes on after it.
    EXPECT_EQ(NewFileIn(folder, "Other", ".mp3", 6).path, folder + "Other (7).mp3");

    // The suffix is fitted with the name.
    const QString longBase = QString(300, 'n') + " 20240115_10_20_30";
    Touch(folder + FitFileName(longBase, ".wav", NameMaxOf(folder)) + ".wav");
    p = NewFileIn(folder, longBase, ".wav");
    EXPECT_EQ(p.suffix, 2);
    EXPECT_TRUE(p.shortened);
    EXPECT_TRUE(p.name.endsWith("20240115_10_20_30 (2)"));
    Touch(p.path);
    EXPECT_TRUE(QFileInfo::exists(p.path)) << "the system takes the name";
}

TEST(FileNames, DestinationFoldersMustBeAbsolute) {
    EXPECT_EQ(DestinationFolderRefusal("/srv/pige/"), "");
    EXPECT_EQ(DestinationFolderRefusal("//studio/pige/"), "");
    EXPECT_EQ(DestinationFolderRefusal("   "), "no destination folder is set");
    EXPECT_EQ(DestinationFolderRefusal("pige/"), "the destination folder 'pige/' is not an absolute path");
    EXPECT_EQ(DestinationFolderRefusal("./pige/"), "the destination folder './pige/' is not an absolute path");
}
