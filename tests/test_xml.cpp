#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/CSS_XmlArena.h"
#include "core/CSS_XmlTag.h"

namespace ssmsg {
namespace {

std::string Text(const CSS_XmlDocument& document) {
  std::string out;
  document.Write(out);
  EXPECT_LE(out.size(), document.TextBound());
  return out;
}

TEST(XmlTag, LeavesValueFormsAndTrimmedNames) {
  CSS_XmlDocument doc;
  CSS_XmlTag* top = doc.AddTopContainer("Top", false);
  top->AddChild("Empty", "");
  top->AddContainer("Shut", true);
  top->AddContainer("Open", false);  // a container left without children is a leaf
  top->AddChild("Byte", std::uint8_t{255});
  top->AddChild("Int", std::int32_t{-1});
  top->AddChild("Min", std::int32_t{-2147483647 - 1});
  top->AddChild(" \t\n\v\f\rZone \r\n", "  kept  ");  // names lose every white space around them
  top->AddChild("   ", "");
  top->AddChild("Raw", "a<b&c>");
  EXPECT_EQ(Text(doc),
            "<Top><Empty></Empty><Shut></Shut><Open></Open><Byte>255</Byte><Int>-1</Int>"
            "<Min>-2147483648</Min><Zone>  kept  </Zone><></><Raw>a<b&c></Raw></Top>");
}

// Top-level elements are a list of their own: a deferred one holds the next, which is closed
// first, yet neither is the other's sibling.
TEST(XmlTag, TopLevelElementsAreAList) {
  CSS_XmlDocument doc;
  doc.AddTopContainer("One", false)->AddChild("a", "1");
  doc.AddTopContainer("Two", false)->AddChild("b", "2");
  EXPECT_EQ(Text(doc), "<One><a>1</a><Two><b>2</b></Two></One>");
  ASSERT_EQ(doc.TopCount(), 2u);
  EXPECT_EQ(doc.Top(1)->Name(), "Two");
  EXPECT_EQ(doc.Top(0)->NextSibling(), nullptr);
}

TEST(XmlTag, ClearReleasesTheTreeAndStorageIsReused) {
  CSS_XmlDocument doc;
  const std::string big(20000, 'x');  // larger than any arena block
  for (unsigned round = 0; round < 3; ++round) {
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

// Every allocation of the element storage is aligned as asked, in the object's own storage and in
// the blocks that follow it, also after a reset.
TEST(XmlArena, AllocationsAreAlignedAsAsked) {
  CSS_XmlArena arena;
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < 2000; ++i) {
      const std::size_t align = std::size_t{1} << (i % 5);
      const std::size_t size = 1 + i * 7 % 45 + (i % 301 == 0 ? 20000 : 0);
      const void* at = arena.Allocate(size, align);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % align, 0u) << i << " " << align;
    }
    arena.Reset();
  }
}

// Views of names and values stay valid while the document grows, and what was handed in may go
// away at once.
TEST(XmlTag, NamesAndValuesAreTheDocumentsOwn) {
  CSS_XmlDocument doc;
  CSS_XmlTag* top = doc.AddTopContainer(std::string(" Top "), false);
  const std::string_view name = top->Name();
  for (int i = 0; i < 2000; ++i)
    top->AddChild(std::string("Child"), std::string(20, 'v'));
  EXPECT_EQ(name, "Top");
  EXPECT_EQ(top->FirstChild()->Value(), std::string(20, 'v'));
}

// A model of the element tree that writes it exactly as described: the first pass over the
// top-level list, then the second pass backwards. Random documents are compared against it.
class ModelDocument {
 public:
  void Add(int parent, std::string name, std::string value, bool closeFlag) {
    const auto first = name.find_first_not_of(" \t\n\v\f\r");
    name = first == std::string::npos
               ? std::string()
               : name.substr(first, name.find_last_not_of(" \t\n\v\f\r") - first + 1);
    nodes_.push_back({std::move(name), std::move(value), closeFlag, {}});
    const int added = static_cast<int>(nodes_.size()) - 1;
    (parent < 0 ? top_ : nodes_[static_cast<std::size_t>(parent)].children).push_back(added);
  }
  std::string Text() const {
    std::string out;
    for (const int i : top_)
      Open(i, out);
    for (auto it = top_.rbegin(); it != top_.rend(); ++it)
      Close(*it, out);
    return out;
  }
  int Size() const { return static_cast<int>(nodes_.size()); }

 private:
  struct Node {
    std::string name;
    std::string value;
    bool closeFlag;
    std::vector<int> children;
  };
  const Node& At(int i) const { return nodes_[static_cast<std::size_t>(i)]; }
  void Open(int i, std::string& out) const {
    out += "<" + At(i).name + ">" + At(i).value;
    for (const int child : At(i).children)
      Open(child, out);
    if (At(i).children.empty() || At(i).closeFlag) out += "</" + At(i).name + ">";
  }
  void Close(int i, std::string& out) const {
    if (At(i).closeFlag || At(i).children.empty()) return;
    for (const int child : At(i).children)
      Close(child, out);
    out += "</" + At(i).name + ">";
  }
  std::vector<Node> nodes_;
  std::vector<int> top_;
};

// Builds the same random trees in a document and in the model: mostly in document order (below
// the latest element or one of its ancestors), sometimes anywhere, with every kind of element,
// names with blanks around them and values of up to a few kilobytes.
class RandomTrees {
 public:
  explicit RandomTrees(unsigned seed) : random_(seed) {}

  void AddSome(CSS_XmlDocument& doc, ModelDocument& model, std::vector<CSS_XmlTag*>& tags,
               int count) {
    for (int n = 0; n < count; ++n) {
      int parent = -1;
      if (!tags.empty() && Pick(10) != 0) {
        parent = Pick(4) == 0 ? Pick(static_cast<int>(tags.size()))
                              : static_cast<int>(tags.size()) - 1 - Pick(3);
        if (parent < 0) parent = 0;
      }
      CSS_XmlTag* on = parent < 0 ? nullptr : tags[static_cast<std::size_t>(parent)];
      const std::string name = kNames[Pick(4)];
      const int kind = Pick(5);
      const bool closeFlag = Pick(2) == 0;
      std::string value;
      CSS_XmlTag* added = nullptr;
      if (kind == 0) {  // a container
        added = on ? on->AddContainer(name, closeFlag) : doc.AddTopContainer(name, closeFlag);
      } else if (kind == 1 && on != nullptr) {
        const auto number = static_cast<std::int32_t>(random_());
        value = std::to_string(number);
        added = on->AddChild(name, number);
      } else {
        value = Pick(20) == 0 ? std::string(static_cast<std::size_t>(Pick(5000)), 'w')
                              : kValues[Pick(4)];
        added = on ? on->AddChild(name, std::string(value)) : doc.AddTop(name, std::string(value));
      }
      model.Add(parent, name, value, kind == 0 && closeFlag);
      tags.push_back(added);
    }
  }

 private:
  static constexpr const char* kNames[] = {"A", " Bee\t", "Cc", "LongerElementName"};
  static constexpr const char* kValues[] = {"", "x", " spaced ", "a<b&c>"};
  int Pick(int below) { return static_cast<int>(random_() % static_cast<unsigned>(below)); }
  std::mt19937 random_;
};

TEST(XmlTag, RandomTreesMatchTheTwoPassModel) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    RandomTrees trees(seed);
    CSS_XmlDocument doc;
    ModelDocument model;
    std::vector<CSS_XmlTag*> tags;
    trees.AddSome(doc, model, tags, 1 + static_cast<int>(seed % 40));
    EXPECT_EQ(Text(doc), model.Text()) << "seed " << seed;
  }
}

// After Rewind the document is what it was at Mark, however many elements it held then and
// whatever was added and changed in between, and it can be rewound again.
TEST(XmlTag, RewindReturnsToTheMark) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    RandomTrees trees(seed);
    CSS_XmlDocument doc;
    ModelDocument model;
    std::vector<CSS_XmlTag*> tags;
    EXPECT_FALSE(doc.Rewind());
    trees.AddSome(doc, model, tags, static_cast<int>(seed % 20));
    doc.Mark();
    const ModelDocument atMark = model;
    const std::vector<CSS_XmlTag*> tagsAtMark = tags;
    for (unsigned round = 0; round < 3; ++round) {
      ModelDocument expected = atMark;
      tags = tagsAtMark;
      trees.AddSome(doc, expected, tags, 1 + static_cast<int>((seed + round) % 30));
      EXPECT_EQ(Text(doc), expected.Text()) << "seed " << seed << " round " << round;
      ASSERT_TRUE(doc.Rewind());
      EXPECT_EQ(Text(doc), atMark.Text()) << "seed " << seed << " round " << round;
    }
    doc.Clear();
    EXPECT_FALSE(doc.Rewind());
  }
}

}  // namespace
}  // namespace ssmsg
