#include "bench/peers.h"

#include <tinyxml2.h>
#include <pugixml.hpp>

namespace ssmsg::bench {
namespace {

class PugixmlWriter final : public PeerWriter {
 public:
  void Write(std::span<const Recipe> recipes, std::vector<std::string>& out) override {
    // Raw output of our inputs needs no escaping; empty elements as "<a></a>" like the messages.
    constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_declaration |
                                 pugi::format_no_escapes | pugi::format_no_empty_element_tags;
    for (const Recipe& recipe : recipes) {
      document_.reset();
      Build(document_, recipe.root);
      std::string text;
      StringWriter writer{text};
      document_.save(writer, "", kFormat, pugi::encoding_utf8);
      out.push_back(std::move(text));
    }
  }

 private:
  struct StringWriter final : pugi::xml_writer {
    explicit StringWriter(std::string& s) : text(s) {}
    void write(const void* data, std::size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
    std::string& text;
  };

  static void Build(pugi::xml_node parent, const Element& element) {
    pugi::xml_node node = parent.append_child(element.name.c_str());
    if (element.isNumber) {
      node.text().set(element.number);
    } else if (!element.text.empty()) {
      node.text().set(element.text.c_str());
    }
    for (const Element& child : element.children)
      Build(node, child);
  }

  pugi::xml_document document_;
};

class Tinyxml2Writer final : public PeerWriter {
 public:
  void Write(std::span<const Recipe> recipes, std::vector<std::string>& out) override {
    for (const Recipe& recipe : recipes) {
      document_.Clear();
      Build(document_, recipe.root);
      printer_.ClearBuffer();
      document_.Print(&printer_);
      out.emplace_back(printer_.CStr(), static_cast<std::size_t>(printer_.CStrSize() - 1));
    }
  }

 private:
  void Build(tinyxml2::XMLNode& parent, const Element& element) {
    tinyxml2::XMLElement* node = document_.NewElement(element.name.c_str());
    parent.InsertEndChild(node);
    if (element.isNumber) {
      node->SetText(element.number);
    } else if (element.children.empty()) {
      node->SetText(element.text.c_str());  // an empty text still gives "<a></a>"
    }
    for (const Element& child : element.children)
      Build(*node, child);
  }

  tinyxml2::XMLDocument document_;
  tinyxml2::XMLPrinter printer_{nullptr, /*compact=*/true};
};

}  // namespace

std::unique_ptr<PeerWriter> MakePugixmlWriter() {
  return std::make_unique<PugixmlWriter>();
}
std::unique_ptr<PeerWriter> MakeTinyxml2Writer() {
  return std::make_unique<Tinyxml2Writer>();
}

}  // namespace ssmsg::bench
