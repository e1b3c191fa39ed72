#include <gtest/gtest.h>

#include "base/Unicode.hpp"

TEST(IDNA, NamesWithOtherLettersTravelInTheirPunycodeForm) {
  EXPECT_EQ(velmoria::base::idnaASCII("bücher.de"), "xn--bcher-kva.de");
  EXPECT_EQ(velmoria::base::idnaASCII("BÜCHER.DE"), "xn--bcher-kva.de");
  EXPECT_EQ(velmoria::base::idnaASCII("u\xCC\x88"
                                      "ber.example"),
            velmoria::base::idnaASCII("\xC3\xBC"
                                      "ber.example"))
      << "decomposed and composed spellings are one name";
  EXPECT_EQ(velmoria::base::idnaASCII("faß.de"), "xn--fa-hia.de") << "nontransitional: ß is not folded to ss";
  EXPECT_EQ(velmoria::base::idnaASCII("пример.рф"), "xn--e1afmkfd.xn--p1ai");
  EXPECT_EQ(velmoria::base::idnaASCII("bücher\xE3\x80\x82"
                                      "de"),
            "xn--bcher-kva.de")
      << "the ideographic full stop";
  EXPECT_EQ(velmoria::base::idnaASCII("Example.COM"), "example.com");
  EXPECT_EQ(velmoria::base::idnaASCII("xn--bcher-kva.de"), "xn--bcher-kva.de");
}

TEST(IDNA, NamesWithoutAValidASCIIFormGiveNothing) {
  EXPECT_FALSE(velmoria::base::idnaASCII(""));
  EXPECT_FALSE(velmoria::base::idnaASCII("a..b"));
  EXPECT_FALSE(velmoria::base::idnaASCII("xn--zz.example")) << "not valid punycode";
  EXPECT_FALSE(velmoria::base::idnaASCII("\xff\xfe.de")) << "not UTF-8";
  EXPECT_FALSE(velmoria::base::idnaASCII(std::string(300, 'a') + ".de")) << "a label over 63 bytes";
}
