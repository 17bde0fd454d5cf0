#include "bench/peers.h"

#include <tinyxml2.h>
#include <pugixml.hpp>

namespace ssmsg::bench {
namespace {

class PugixmlWriter final : public PeerWriter {
 public:
  void Write(const RecipeBook& book, std::vector<std::string>& out) override {
    // Raw output of our inputs needs no escaping; empty elements as "<a></a>" like the messages.
    constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_declaration |
                                 pugi::format_no_escapes | pugi::format_no_empty_element_tags;
    for (std::size_t i = 0; i < book.Count(); ++i) {
      document_.reset();
      Build(book, document_, book.Message(i), 0);
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

  static void Build(const RecipeBook& book, pugi::xml_node parent,
                    std::span<const RecipeElement> message, std::uint32_t i) {
    const RecipeElement& element = message[i];
    pugi::xml_node node = parent.append_child(book.CString(element.name));
    if (element.IsNumber()) {
      node.text().set(element.number);
    } else if (!book.String(element.text).empty()) {
      node.text().set(book.CString(element.text));
    }
    for (std::uint32_t child = i + 1; child < element.end; child = message[child].end) {
      Build(book, node, message, child);
    }
  }

  pugi::xml_document document_;
};

class Tinyxml2Writer final : public PeerWriter {
 public:
  void Write(const RecipeBook& book, std::vector<std::string>& out) override {
    for (std::size_t i = 0; i < book.Count(); ++i) {
      document_.Clear();
      Build(book, document_, book.Message(i), 0);
      printer_.ClearBuffer();
      document_.Print(&printer_);
      out.emplace_back(printer_.CStr(), static_cast<std::size_t>(printer_.CStrSize() - 1));
    }
  }

 private:
  void Build(const RecipeBook& book, tinyxml2::XMLNode& parent,
             std::span<const RecipeElement> message, std::uint32_t i) {
    const RecipeElement& element = message[i];
    tinyxml2::XMLElement* node = document_.NewElement(book.CString(element.name));
    parent.InsertEndChild(node);
    if (element.IsNumber()) {
      node->SetText(element.number);
    } else if (!element.HasChildren(i)) {
      node->SetText(book.CString(element.text));  // an empty text still gives "<a></a>"
    }
    for (std::uint32_t child = i + 1; child < element.end; child = message[child].end) {
      Build(book, *node, message, child);
    }
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
