#pragma once
// Private-profile INI files with the rules of the Windows profile functions,
// for the files the product family writes:
//  - section and key names are matched ignoring case and surrounding blanks;
//    the first matching section, and in it the first matching key, wins;
//  - blanks around "=" and around the value are ignored on read, and a value
//    enclosed in a pair of single or double quotes loses them;
//  - a read returns at most maxChars characters (the family reads through a
//    255-character buffer: 254 characters and the terminator);
//  - a write replaces the value in place and keeps every other line, adds a
//    missing key after the last key line of its section, adds a missing
//    section at the end of the file, creates the file when needed, and
//    writes CR LF line ends;
//  - the file is rewritten through a temporary file of the same folder that
//    is renamed over it, so that readers never see half a file.
// Files are read as UTF-8 (files that are not valid UTF-8 are taken as the
// Windows Western code page) and written as UTF-8; LF or CR LF are accepted.
// A file name without any folder designates a file of the Windows folder.
#include <QString>

namespace platform {

constexpr int kProfileReadMaxChars = 254;

QString ProfileRead(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue, int maxChars = kProfileReadMaxChars);
// False when the file cannot be written: its folder is missing, the file is
// read-only (no write permission), or the disk refuses the write.
bool ProfileWrite(const QString& file, const QString& section, const QString& key, const QString& value);

}  // namespace platform
