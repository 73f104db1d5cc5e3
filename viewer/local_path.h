// File names between Linux and Qt, byte for byte. A name is bytes and need not be UTF-8,
// while Qt's strings (and its own conversions) would turn such bytes into U+FFFD for good.
// Each byte that is not part of a UTF-8 sequence rides in the QString as a lone low surrogate
// U+DC80..U+DCFF, which no real text holds, so "caf\xE9.m1v" opens and saves like any name.
#pragma once

#include <QString>
#include <QUrl>
#include <string>
#include <string_view>
#include <vector>

namespace rovena {

QString PathFromBytes(std::string_view bytes);
std::string PathToBytes(const QString& path);
// The local file a dropped URL names, from its percent-encoded bytes.
QString PathFromUrl(const QUrl& url);

// For each path, its file name with as many of the folders above it as tell it apart from
// the other paths ("2007/06/140500.m1v" beside "2008/06/140500.m1v"); equal paths share one.
std::vector<std::string> DistinctTails(const std::vector<std::string>& paths);

}  // namespace rovena
