#include <gtest/gtest.h>

#include "base/Unicode.hpp"

TEST(IDNA, NamesWithOtherLettersTravelInTheirPunycodeForm) {
  EXPECT_EQ(base::idnaASCII("bücher.de"), "xn--bcher-kva.de");
  EXPECT_EQ(base::idnaASCII("BÜCHER.DE"), "xn--bcher-kva.de");
  EXPECT_EQ(base::idnaASCII("u\xCC\x88"
                            "ber.example"),
            base::idnaASCII("\xC3\xBC"
                            "ber.example"))
      << "decomposed and composed spellings are one name";
  EXPECT_EQ(base::idnaASCII("faß.de"), "xn--fa-hia.de") << "nontransitional: ß is not folded to ss";
  EXPECT_EQ(base::idnaASCII("пример.рф"), "xn--e1afmkfd.xn--p1ai");
  EXPECT_EQ(base::idnaASCII("bücher\xE3\x80\x82"
                            "de"),
            "xn--bcher-kva.de")
      << "the ideographic full stop";
  EXPECT_EQ(base::idnaASCII("Example.COM"), "example.com");
  EXPECT_EQ(base::idnaASCII("xn--bcher-kva.de"), "xn--bcher-kva.de");
}

TEST(IDNA, NamesWithoutAValidASCIIFormGiveNothing) {
  EXPECT_FALSE(base::idnaASCII(""));
  EXPECT_FALSE(base::idnaASCII("a..b"));
  EXPECT_FALSE(base::idnaASCII("xn--zz.example")) << "not valid punycode";
  EXPECT_FALSE(base::idnaASCII("\xff\xfe.de")) << "not UTF-8";
  EXPECT_FALSE(base::idnaASCII(std::string(300, 'a') + ".de")) << "a label over 63 bytes";
}
