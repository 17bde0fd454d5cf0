#include <gtest/gtest.h>

#include <string>

#include "core/CSS_XmlTag.h"

namespace ssmsg {
namespace {

std::string Text(const CSS_XmlDocument& document) {
  std::string out;
  document.Write(out);
  EXPECT_LE(out.size(), document.TextBound());
  return out;
}

TEST(XmlTag, LeavesAndValueForms) {
  CSS_XmlDocument doc;
  CSS_XmlTag* top = doc.AddTopContainer("Top", false);
  top->AddChild("Empty", "");
  top->AddContainer("Shut", true);
  top->AddContainer("Open", false);  // a container left without children is a leaf
  top->AddChild("Byte", std::uint8_t{255});
  top->AddChild("Int", std::int32_t{-1});
  top->AddChild("Min", std::int32_t{-2147483647 - 1});
  top->AddChild(" Zone\t", "  kept  ");
  top->AddChild("Raw", "a<b&c>");
  EXPECT_EQ(Text(doc),
            "<Top><Empty></Empty><Shut></Shut><Open></Open><Byte>255</Byte><Int>-1</Int>"
            "<Min>-2147483648</Min><Zone>  kept  </Zone><Raw>a<b&c></Raw></Top>");
}

TEST(XmlTag, NamesAreTrimmedOfEveryWhiteSpace) {
  CSS_XmlDocument doc;
  doc.AddTop(" \t\n\v\f\rName \r\n", "v");
  doc.AddTop("   ", "");
  EXPECT_EQ(Text(doc), "<Name>v</Name><></>");
}

TEST(XmlTag, WorkedExampleDefersOnlyLastChildChain) {
  CSS_XmlDocument doc;
  CSS_XmlTag* top = doc.AddTopContainer("Top", false);
  top->AddChild("Num", "1");
  CSS_XmlTag* box = top->AddContainer("Box", false);
  box->AddContainer("Item", true)->AddChild("Key", "x");
  box->AddChild("End", "y");
  EXPECT_EQ(Text(doc), "<Top><Num>1</Num><Box><Item><Key>x</Key></Item><End>y</End></Box></Top>");
}

TEST(XmlTag, ChainOfDeferredElementsClosesInnermostFirstAtTheEnd) {
  CSS_XmlDocument doc;
  CSS_XmlTag* a = doc.AddTopContainer("A", false);
  CSS_XmlTag* b = a->AddContainer("B", false);
  CSS_XmlTag* c = b->AddContainer("C", false);
  c->AddChild("D", "d");
  EXPECT_EQ(Text(doc), "<A><B><C><D>d</D></C></B></A>");
}

// Trees that break the closing-tag rule come out exactly as the two passes write them.
TEST(XmlTag, RuleBreakingTrees) {
  {  // a sibling after a deferred element ends up inside it
    CSS_XmlDocument doc;
    CSS_XmlTag* top = doc.AddTopContainer("Top", false);
    top->AddContainer("Box", false)->AddChild("Key", "x");
    top->AddChild("Num", "1");
    EXPECT_EQ(Text(doc), "<Top><Box><Key>x</Key><Num>1</Num></Box></Top>");
  }
  {  // two deferred siblings cross
    CSS_XmlDocument doc;
    CSS_XmlTag* top = doc.AddTopContainer("Top", false);
    top->AddContainer("P", false)->AddChild("a", "1");
    top->AddContainer("Q", false)->AddChild("b", "2");
    EXPECT_EQ(Text(doc), "<Top><P><a>1</a><Q><b>2</b></P></Q></Top>");
  }
  {  // a deferred element below a self-closing one never gets its closing tag
    CSS_XmlDocument doc;
    CSS_XmlTag* top = doc.AddTopContainer("Top", false);
    top->AddContainer("Shut", true)->AddContainer("Lost", false)->AddChild("k", "v");
    EXPECT_EQ(Text(doc), "<Top><Shut><Lost><k>v</k></Shut></Top>");
  }
  {  // two deferred top-level elements nest: the later one is closed first
    CSS_XmlDocument doc;
    doc.AddTopContainer("One", false)->AddChild("a", "1");
    doc.AddTopContainer("Two", false)->AddChild("b", "2");
    EXPECT_EQ(Text(doc), "<One><a>1</a><Two><b>2</b></Two></One>");
  }
}

TEST(XmlTag, ClearReleasesTheTreeAndStorageIsReused) {
  CSS_XmlDocument doc;
  const std::string big(20000, 'x');  // larger than any arena block
  for (int round = 0; round < 3; ++round) {
    CSS_XmlTag* top = doc.AddTopContainer("T", false);
    for (int i = 0; i < 500; ++i)
      top->AddChild("Child", i);
    top->AddChild("Big", big);
    const std::string text = Text(doc);
    EXPECT_TRUE(text.starts_with("<T><Child>0</Child><Child>1</Child>"));
    EXPECT_TRUE(text.ends_with("<Child>499</Child><Big>" + big + "</Big></T>"));
    doc.Clear();
    EXPECT_EQ(doc.TopCount(), 0u);
    EXPECT_EQ(Text(doc), "");
  }
}

// A value too long for the element storage gets a block of its own, sized to the byte. The
// elements that follow must not be placed past the end of that block, whatever its length and
// whether or not a name is stored after the value. (Run under AddressSanitizer to see a fault.)
TEST(XmlTag, ElementsAfterAValueThatFillsItsOwnBlock) {
  CSS_XmlDocument doc;
  for (std::size_t length = 16383; length <= 16393; ++length) {
    for (const char* name : {"", "V", "Value"}) {
      const std::string value(length, 'v');
      CSS_XmlTag* top = doc.AddTopContainer("T", false);
      top->AddChild(name, value);
      top->AddChild("N", std::int32_t{7});
      top->AddContainer("C", true)->AddChild("K", "k");
      const std::string open = "<" + std::string(name) + ">";
      const std::string close = "</" + std::string(name) + ">";
      EXPECT_EQ(Text(doc), "<T>" + open + value + close + "<N>7</N><C><K>k</K></C></T>")
          << length << " " << name;
      doc.Clear();
    }
  }
}

}  // namespace
}  // namespace ssmsg
