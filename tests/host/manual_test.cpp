// The user's manual as shipped: every help context opens a page that exists, and no page links
// to a page or picture that is not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "engine/help.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

#ifdef TW_SOURCE_DIR
const fs::path kManual = fs::path(TW_SOURCE_DIR) / "manual";
#endif

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(UsersManual, EveryHelpContextOpensAnExistingPageAndNoLinkIsDead) {
#ifndef TW_SOURCE_DIR
  GTEST_SKIP() << "the manual's sources are checked by the native build";
#else
  EXPECT_EQ(ManualPageOf(0), kManualContents);
  EXPECT_EQ(ManualPageOf(999), kManualContents) << "an unknown context gives the contents";
  std::set<std::string> pages;
  for (int context : {110, 120, 130, 140, 150, 200, 320}) {
    const std::string page = ManualPageOf(context);
    EXPECT_NE(page, kManualContents) << context << " has a page of its own";
    EXPECT_TRUE(fs::is_regular_file(kManual / page)) << context << ": " << page;
    pages.insert(page);
  }
  EXPECT_EQ(pages.size(), 7u) << "each context its own page";
  EXPECT_EQ(HelpContexts().size(), 7u);

  // Every link and picture of every page resolves; every page is reachable from the contents.
  const std::regex target(R"re((?:href|src)="([^"]*)")re");
  std::set<std::string> linked{kManualContents};
  int files = 0;
  for (const auto& entry : fs::directory_iterator(kManual)) {
    if (entry.path().extension() != ".html") continue;
    ++files;
    const std::string text = ReadText(entry.path());
    EXPECT_NE(text.find("<title>"), std::string::npos) << entry.path();
    for (std::sregex_iterator m(text.begin(), text.end(), target), end; m != end; ++m) {
      std::string link = (*m)[1];
      link = link.substr(0, link.find('#'));
      if (link.empty()) continue;
      EXPECT_EQ(link.find(':'), std::string::npos)
          << entry.path().filename() << " links outside the manual: " << link;
      EXPECT_TRUE(fs::is_regular_file(kManual / link))
          << entry.path().filename() << " links to a missing " << link;
      linked.insert(link);
    }
  }
  EXPECT_GE(files, 10);
  for (const auto& entry : fs::directory_iterator(kManual))
    if (entry.path().extension() == ".html")
      EXPECT_TRUE(linked.count(entry.path().filename().string()))
          << entry.path().filename() << " is linked from no page";
  for (const auto& entry : fs::directory_iterator(kManual / "images"))
    EXPECT_TRUE(linked.count("images/" + entry.path().filename().string()))
        << entry.path().filename() << " is shown on no page";
#endif
}

}  // namespace
}  // namespace tw
