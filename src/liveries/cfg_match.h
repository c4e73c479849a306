#pragma once
// Hand-written matchers for the few line shapes of aircraft.cfg files that
// the liveries scan reads. Each gives exactly what a case-insensitive
// ECMAScript expression of the same shape would give on the whole text
// (blanks are the C locale's white space, '.' never crosses CR or LF), but
// in one linear pass: a backtracking expression engine recurses once per
// character and overflows the stack on a long title line.
//
// Letters are folded as ASCII only; every other byte (UTF-8 included) is
// compared as it is.

#include <optional>
#include <string_view>

// `\s*(<key>)\s*=\s*(.*\S)\s*` on the whole line: the value (group 2) without
// the blanks around it; none when the line does not have that shape. The key
// is compared without letter case.
std::optional<std::string_view> gf_matchCfgKeyLine(std::string_view line, std::string_view key);

// `\s*(\[fltsim\.)(\d+)\]\s*` on the whole line: the digits; none otherwise.
std::optional<std::string_view> gf_matchFltSimHeader(std::string_view line);
// `\s*\[fltsim\.(-\d+)\]\s*` on the whole line: the minus sign and the digits.
std::optional<std::string_view> gf_matchNegativeFltSimHeader(std::string_view line);

// `.+/<package>/SimObjects/Airplanes/IVAO_(\w+)/aircraft\.cfg$` on the whole
// path (with '/' separators): the folder name after "IVAO_".
std::optional<std::string_view> gf_matchIvaoCfgPath(std::string_view path, std::string_view package);

// `<model>W?\s*(\w\w\w).*$` on the whole title, "W" only when `withW`: the
// three word characters as written. The model code is taken literally.
std::optional<std::string_view> gf_matchIvaoTitle(std::string_view title, std::string_view model, bool withW);
