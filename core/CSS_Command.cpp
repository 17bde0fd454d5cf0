#include "core/CSS_Command.h"

#include <cctype>

#include "core/CSS_Format.h"

namespace ssmsg {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

CSS_Command::CSS_Command(std::string_view messageType, std::string_view action, bool hasNode,
                         bool hasParameters)
    : messageType_(TrimWhiteSpace(messageType)),
      action_(TrimWhiteSpace(action)),
      hasNode_(hasNode),
      hasParameters_(hasParameters) {}

bool CSS_Command::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  return AppendCommand(interfaceId, node, out);
}

bool CSS_Command::AddParameters(CSS_XmlTag* /*parameters*/) {
  return true;
}

CSS_XmlTag* CSS_Command::BuildEnvelope(CSS_XmlDocument& top, int interfaceId) const {
  CSS_XmlTag* root = top.AddTopContainer("Command", false);
  root->AddChild("InterfaceID", static_cast<std::int32_t>(interfaceId));
  root->AddChild("MessageType", std::string_view(messageType_));
  root->AddChild("Action", std::string_view(action_));
  if (hasParameters_ || hasNode_) root->AddContainer("Parameters", false);
  return root;
}

bool CSS_Command::MakeCommand(int interfaceId, int node, std::string& out) {
  if (interfaceId < 1 || node < 0) return false;

  // The envelope and the node are the same for every message of this command to one node: they
  // are built once, and each further message starts from them again.
  if (interfaceId != envelopeInterfaceId_ || node != envelopeNode_ || !document_.Rewind()) {
    document_.Clear();
    envelopeRoot_ = BuildEnvelope(document_, interfaceId);
    envelopeParameters_ = nullptr;
    if (envelopeRoot_ != nullptr) {
      CSS_XmlTag* parameters = envelopeRoot_->FirstChild();
      while (parameters != nullptr && !EqualsIgnoringCase(parameters->Name(), "Parameters")) {
        parameters = parameters->NextSibling();
      }
      if (parameters != nullptr && hasNode_) {
        parameters->AddChild("Node", static_cast<std::int32_t>(node));
      }
      envelopeParameters_ = parameters;
    }
    document_.Mark();
    envelopeInterfaceId_ = interfaceId;
    envelopeNode_ = node;
  }

  bool result = envelopeRoot_ != nullptr;
  if (result && envelopeParameters_ != nullptr) result = AddParameters(envelopeParameters_);
  // The text is written also when AddParameters refused; callers drop it on a false result.
  out.clear();
  out.reserve(document_.TextBound());
  document_.Write(out);
  return result;
}

bool CSS_Command::AppendCommand(int interfaceId, int node, CSS_StringList& out) {
  std::string text;
  const bool made = MakeCommand(interfaceId, node, text);
  if (made && !text.empty()) {
    out.push_back(std::move(text));
    if (std::vector<std::int32_t>* trail = CSS_RecordTrail::Current()) {
      trail->push_back(RecordNumber());
    }
  }
  return made;
}

namespace {

std::vector<std::int32_t>*& ThreadTrail() {
  thread_local std::vector<std::int32_t>* trail = nullptr;
  return trail;
}

}  // namespace

CSS_RecordTrail::CSS_RecordTrail(std::vector<std::int32_t>& numbers) : previous_(ThreadTrail()) {
  ThreadTrail() = &numbers;
}

CSS_RecordTrail::~CSS_RecordTrail() {
  ThreadTrail() = previous_;
}

std::vector<std::int32_t>* CSS_RecordTrail::Current() {
  return ThreadTrail();
}

}  // namespace ssmsg
