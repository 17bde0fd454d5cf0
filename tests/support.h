#pragma once

// Shared test scaffolding: a fresh store and enumeration service per test, and the envelope of a
// settings message so that expectations can spell out only what differs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSToolEnum.h>

namespace ssmsg::test {

// The bytes of `file`; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether `text` holds `part`, for EXPECT_TRUE and EXPECT_FALSE: either way the message shows
// the text.
inline testing::AssertionResult Contains(std::string_view text, std::string_view part) {
  const bool found = text.find(part) != std::string_view::npos;
  testing::AssertionResult result(found);
  result << (found ? "" : "no ") << "\"" << part << "\" in: " << text;
  return result;
}

// The text of a message with both flags set: envelope, "Node", then `params`.
inline std::string Msg(std::string_view messageType, std::string_view action,
                       std::string_view params = {}, int interfaceId = 1, int node = 2) {
  std::string text =
      "<Command><InterfaceID>" + std::to_string(interfaceId) + "</InterfaceID><MessageType>";
  text.append(messageType).append("</MessageType><Action>").append(action);
  text.append("</Action><Parameters><Node>").append(std::to_string(node)).append("</Node>");
  text.append(params).append("</Parameters></Command>");
  return text;
}

// Installs an empty store and a fresh enumeration service (built-in texts) for the duration of
// a test; tests give the values they check a text of their own with SetText or NameValues.
class StoreTest : public ::testing::Test {
 protected:
  StoreTest()
      : previousStore_(gl_SetApplicationManagerStd(&store)),
        previousEnums_(gl_SetToolEnum(&enums)) {}
  ~StoreTest() override {
    gl_SetApplicationManagerStd(previousStore_);
    gl_SetToolEnum(previousEnums_);
  }

  // Gives values `first` to `last` of enumeration `id` the texts prefix+value ("T1", "T2", ...).
  void NameValues(CSToolEnumId id, std::string_view prefix, int first, int last) {
    for (int v = first; v <= last; ++v) {
      enums.Get(id)->SetText(v, std::string(prefix) + std::to_string(v));
    }
  }

  // Runs one settings task for interface 1, node 2 unless told otherwise.
  bool Run(int task, int interfaceId = 1, int node = 2) {
    return manager.MakeSendSettings(static_cast<ApplicationManagerTask>(task), interfaceId, node,
                                    out);
  }

  CSApplicationManagerStd store;
  CSToolEnum enums;
  CSS_Manager manager;
  CSS_StringList out;

 private:
  CSApplicationManagerStd* previousStore_;
  CSToolEnum* previousEnums_;
};

}  // namespace ssmsg::test
