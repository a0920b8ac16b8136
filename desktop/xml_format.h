// The fixed text of elements.xml, written down once. The reader depends on the
// line structure the writer produces, so this is a contract, not decoration.
#pragma once

#include <cstdint>

// The format version this writer produces and the highest the reader accepts.
constexpr uint32_t kXmlCoreVersion = 10;

// Lines 1 to 45 of every file, each ending in a line feed (CR LF on disk).
extern const char kXmlHeader[];

// The tags and attribute texts the line scanner looks for.
constexpr char kRootTag[] = "<quorvia";
constexpr char kRootEnd[] = "</quorvia>";
constexpr char kCoreVersionAttr[] = " core_version=";
constexpr char kTimeOfStartAttr[] = " time_of_start=";
constexpr char kCategoryTag[] = "<category ";
constexpr char kItemTag[] = "<item ";
constexpr char kItemEnd[] = "</item>";
constexpr char kQuestionOpen[] = "<Q>";
constexpr char kQuestionClose[] = "</Q>";
constexpr char kAnswerOpen[] = "<A>";
constexpr char kAnswerClose[] = "</A>";
constexpr char kCdataOpen[] = "<![CDATA[";
constexpr char kCdataClose[] = "]]>";
constexpr char kCommentOpen[] = "<!--";
constexpr char kCommentClose[] = "-->";
