#include "engine/host_config.h"

#include <gtest/gtest.h>

namespace vellmora::testing {
namespace {

TEST(HostConfig, SetValueReplacesTheFirstMatchingLineOrAppends) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"first line of the key only, ending kept", "klv.locale=en\nklv.x=\"1\"\r\nklv.locale=\"fr\"\r\n",
       "klv.locale=\"pt-BR\"\nklv.x=\"1\"\r\nklv.locale=\"fr\"\r\n"},
      {"crlf kept", "a=1\r\nklv.locale=\"en\"\r\nz=2", "a=1\r\nklv.locale=\"pt-BR\"\r\nz=2"},
      {"last line without ending", "klv.locale=\"en\"", "klv.locale=\"pt-BR\""},
      {"only at the start of a line, case-sensitive",
       " klv.locale=\"en\"\r\nKLV.LOCALE=\"en\"\r\nklv.locale_x=\"en\"\r\n",
       " klv.locale=\"en\"\r\nKLV.LOCALE=\"en\"\r\nklv.locale_x=\"en\"\r\nklv.locale=\"pt-BR\"\r\n"},
      {"appended after a line ending is added", "klv.x=\"1\"", "klv.x=\"1\"\r\nklv.locale=\"pt-BR\"\r\n"},
      {"appended to an empty text", "", "klv.locale=\"pt-BR\"\r\n"},
      {"appended after lf", "klv.x=\"1\"\n", "klv.x=\"1\"\nklv.locale=\"pt-BR\"\r\n"},
  };
  for (const Case& c : cases) {
    HostConfig config(c.text);
    config.SetValue("klv.locale", "pt-BR");
    EXPECT_EQ(config.Text(), c.expected) << c.name;
  }
}

TEST(HostConfig, RemoveLinesWithPrefixesTakesConsecutiveLinesAndTheLastOne) {
  HostConfig config(
      "klv.qor_win_x=\"1\"\r\nklv.qor_win_y=\"2\"\nklv.status.session_id=\"keep\"\r\n"
      "klv.instance.Pie64.status.session_id=\"drop\"\r\n# klv.qor_win_ comment\r\n"
      "klv.instance.Pie64.camera_front=\"x\"");
  config.RemoveLinesWithPrefixes({"klv.qor_win_", "klv.instance.Pie64.camera_",
                                  "klv.instance.Pie64.status.session_id="});
  EXPECT_EQ(config.Text(), "klv.status.session_id=\"keep\"\r\n# klv.qor_win_ comment\r\n");
}

TEST(HostConfig, ReplaceAllGoesOnAfterEachInsertedValue) {
  HostConfig config("a=__T__;b=__T____T__");
  config.ReplaceAll("__T__", "__T__x");
  EXPECT_EQ(config.Text(), "a=__T__x;b=__T__x__T__x");
}

}  // namespace
}  // namespace vellmora::testing
