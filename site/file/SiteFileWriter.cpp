#include "site/file/SiteFileWriter.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include <ssmsg/Json.h>

#include "core/OrderedWork.h"

#include "host/CSDevice_Fields.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace {

constexpr std::size_t kWidth = 100;

// Writes objects of key-value pairs on one line, "{ "a": 1, "b": 2 }", wrapping long ones at the
// width with their further lines lined up after the brace. An object inside one starts on a line
// of its own, lined up the same way. Compact, it writes no blank at all: {"a":1,"b":2}.
class Flow {
 public:
  // `out` ends on the line where the flow starts; while the flow lasts, only it writes to `out`.
  Flow(std::string& out, bool compact) : out_(out), compact_(compact) {
    const std::size_t newline = compact ? std::string::npos : out_.rfind('\n');
    lineStart_ = newline == std::string::npos ? 0 : newline + 1;
  }

  void Open() {
    out_ += compact_ ? "{" : "{ ";
    indents_.push_back(Column());
    first_ = true;
  }
  void Close() {
    if (compact_) {
      out_ += '}';
    } else if (first_) {
      out_.back() = '}';  // "{}"
    } else {
      out_ += " }";
    }
    indents_.pop_back();
    first_ = false;
  }
  // One key-value pair; `value` is JSON text. Keys are the site file's own names, which JSON
  // takes as they are.
  void Item(std::string_view key, std::string_view value) {
    if (!first_) {
      out_ += ',';
      // Room is kept for the comma, or the closing braces, that may follow the item.
      const std::size_t size = key.size() + 4 + value.size();  // "key": value
      if (!compact_ && Column() + 1 + size + 4 > kWidth) {
        NewLine();
      } else if (!compact_) {
        out_ += ' ';
      }
    }
    out_ += '"';
    out_.append(key).append(compact_ ? "\":" : "\": ").append(value);
    first_ = false;
  }
  // The key of an object value: the object opens next, on a line of its own unless it is first.
  void ObjectKey(std::string_view key) {
    if (!first_) {
      out_ += ',';
      if (!compact_) NewLine();
    }
    AppendJsonString(out_, key);
    out_ += compact_ ? ":" : ": ";
    first_ = false;
  }
  bool Compact() const { return compact_; }

 private:
  std::size_t Column() const { return out_.size() - lineStart_; }
  void NewLine() {
    out_ += '\n';
    lineStart_ = out_.size();
    out_.append(indents_.back(), ' ');
  }

  std::string& out_;
  bool compact_;
  std::size_t lineStart_;  // where the line being written starts in `out_`
  std::vector<std::size_t> indents_;
  bool first_ = true;
};

std::string Decimal(std::int64_t value) {
  return std::to_string(value);
}

// The pairs of every field of `infos` in `record`. Texts are left out when empty, as a site file
// does for a record without a name.
template <class Record, std::size_t N>
void WriteFields(Flow& flow, const std::array<CSS_FieldInfo, N>& infos, const Record& record) {
  for (const CSS_FieldInfo& info : infos) {
    if (info.kind == CSS_FieldKind::Text) {
      const std::string& text = info.text(&record);
      if (text.empty()) continue;
      std::string value;
      AppendJsonString(value, text);
      flow.Item(info.name, value);
      continue;
    }
    const std::int64_t value = info.get(&record);
    if (info.kind == CSS_FieldKind::Flag) {
      flow.Item(info.name, value != 0 ? "true" : "false");
      continue;
    }
    std::array<char, 24> digits;
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    flow.Item(info.name,
              std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }
}

template <class Record>
bool IsCleared(const Record& record) {
  Record cleared{};
  cleared.Clear();
  for (const CSS_FieldInfo& info : kRecordFieldInfos<Record>) {
    if (info.kind == CSS_FieldKind::Text ? !info.text(&record).empty()
                                         : info.get(&record) != info.get(&cleared)) {
      return false;
    }
  }
  return true;
}

// A sub-record of a list element, "Time": { ... }, when the element has one.
template <class Records>
void WriteSubRecord(Flow& flow, std::string_view key, const Records& records, int index) {
  const typename Records::Item* record = records.Find(index + Records::kFirstIndex);
  if (record == nullptr) return;
  flow.ObjectKey(key);
  flow.Open();
  WriteFields(flow, kRecordFieldInfos<typename Records::Item>, *record);
  if constexpr (std::is_same_v<typename Records::Item, CSDevice_InputTimeItem>) {
    std::string levels = "[";
    for (std::size_t level = 0; level < record->LevelTG.size(); ++level) {
      if (level > 0) levels += flow.Compact() ? "," : ", ";
      levels += Decimal(record->LevelTG[level]);
    }
    levels += ']';
    flow.Item("LevelTGs", levels);
  }
  flow.Close();
}

using Key = CSS_ControllerKey;

// The keys of a controller's object, by CSS_ControllerKey.
constexpr std::string_view kKeyNames[] = {
    "Interface", "Node",       "Name",  "Resource", "Config", "XTRA",    "Holidays",
    "TimeZones", "TimeGroups", "Ports", "FLAN",     "Inputs", "Outputs", "Readers"};
static_assert(std::size(kKeyNames) == kControllerKeyCount);

// The keys whose text the records of `parts` make. The counts of "Resource" follow the lengths of
// every list, so it is written again whatever changed.
std::bitset<kControllerKeyCount> KeysOfParts(const std::bitset<kStorePartCount>& parts) {
  const auto changed = [&parts](std::uint32_t bits) { return (parts.to_ulong() & bits) != 0; };
  std::bitset<kControllerKeyCount> keys;
  const std::uint32_t config = PartBits({StorePart::Config});
  keys[static_cast<std::size_t>(Key::Name)] = changed(config);
  keys[static_cast<std::size_t>(Key::Resource)] = true;
  keys[static_cast<std::size_t>(Key::Config)] = changed(config);
  keys[static_cast<std::size_t>(Key::Xtra)] = changed(PartBits({StorePart::Xtra}));
  for (std::size_t k = static_cast<std::size_t>(Key::Holidays); k < kControllerKeyCount; ++k)
    keys[k] = changed(ListPartsOf(kKeyNames[k]));
  return keys;
}

class ControllerWriter {
 public:
  ControllerWriter(std::string& out, const CSApplicationManagerStd& store, bool compact)
      : out_(out), store_(store), compact_(compact) {}

  ControllerWriter(std::string& out, const CSApplicationManagerStd& store,
                   const CSS_ControllerText* was, CSS_ControllerLayout* layout)
      : out_(out), store_(store), compact_(true), was_(was), layout_(layout) {
    if (was != nullptr) rewrite_ = KeysOfParts(was->changed);
  }

  void Write(const CSS_ControllerAddress& address) {
    Blank("    ");
    start_ = out_.size();
    out_ += '{';
    Blank("\n");
    Member(Key::Interface, [&](std::string_view key) { Line(key, Decimal(address.interfaceId)); });
    Member(Key::Node, [&](std::string_view key) { Line(key, Decimal(address.node)); });
    Member(Key::Name, [&](std::string_view key) {
      if (store_.GetConfig().Name.empty()) return;
      std::string name;
      AppendJsonString(name, store_.GetConfig().Name);
      Line(key, name);
    });
    Member(Key::Resource, [&](std::string_view key) { WriteResource(key); });
    Member(Key::Config, [&](std::string_view key) {
      if (IsCleared(store_.GetConfig())) return;
      FlowLine(key, [&](Flow& flow) {
        WriteFields(flow, kRecordFieldInfos<CSDevice_Config>, store_.GetConfig());
      });
    });
    Member(Key::Xtra, [&](std::string_view key) {
      if (IsCleared(store_.GetXTRA())) return;
      FlowLine(key, [&](Flow& flow) {
        WriteFields(flow, kRecordFieldInfos<CSDevice_XTRA>, store_.GetXTRA());
      });
    });
    Member(Key::Holidays, [&](std::string_view key) { RecordList(key, store_.GetHoliday()); });
    Member(Key::TimeZones, [&](std::string_view key) { RecordList(key, store_.GetTimeZone()); });
    Member(Key::TimeGroups, [&](std::string_view key) { TimeGroups(key); });
    Member(Key::Ports, [&](std::string_view key) { RecordList(key, store_.GetPort()); });
    Member(Key::FLan, [&](std::string_view key) { RecordList(key, store_.GetFLan_Setup()); });
    Member(Key::Inputs, [&](std::string_view key) {
      List(key, FindCountedList(key).length(store_), [&](Flow& flow, int i) {
        return Element(flow, store_.GetInputType(), i, [&] {
          WriteSubRecord(flow, "Time", store_.GetInputTime(), i);
          WriteSubRecord(flow, "Link", store_.GetInputLink(), i);
        });
      });
    });
    Member(Key::Outputs, [&](std::string_view key) {
      List(key, FindCountedList(key).length(store_), [&](Flow& flow, int i) {
        return Element(flow, store_.GetOutputType(), i,
                       [&] { WriteSubRecord(flow, "Time", store_.GetOutputTime(), i); });
      });
    });
    Member(Key::Readers, [&](std::string_view key) {
      List(key, FindCountedList(key).length(store_), [&](Flow& flow, int i) {
        return Element(flow, store_.GetRdConfiguration(), i, [&] {
          WriteSubRecord(flow, "CardControl", store_.GetRdCardControl(), i);
          WriteSubRecord(flow, "CardLocation", store_.GetRdCardLocation(), i);
          WriteSubRecord(flow, "CardStructure", store_.GetRdCardStructure(), i);
          WriteSubRecord(flow, "AccessAlarm", store_.GetRdAccessAlarm(), i);
        });
      });
    });
    Blank("\n    ");
    out_ += '}';
  }

 private:
  // The key `key`, written by `write` with its name, or copied from the text written before
  // where its parts did not change; and where it ends, when asked.
  template <class Write>
  void Member(Key key, Write&& write) {
    const auto k = static_cast<std::size_t>(key);
    if (was_ != nullptr && !rewrite_[k]) {
      const std::size_t begin = k == 0 ? 1 : was_->layout[k - 1];
      const std::string_view text = was_->text.substr(begin, was_->layout[k] - begin);
      out_ += text;
      if (!text.empty()) first_ = false;
    } else {
      write(kKeyNames[k]);
    }
    if (layout_ != nullptr) (*layout_)[k] = out_.size() - start_;
  }

  // The layout's blanks, which a compact text leaves out.
  void Blank(std::string_view blanks) {
    if (!compact_) out_ += blanks;
  }
  // The next key of the controller, on a line of its own.
  void Key(std::string_view key) {
    if (!first_) {
      out_ += ',';
      Blank("\n");
    }
    first_ = false;
    Blank("      ");
    AppendJsonString(out_, key);
    out_ += ':';
    Blank(" ");
  }
  void Line(std::string_view key, std::string_view value) {
    Key(key);
    out_ += value;
  }
  template <class Fill>
  void FlowLine(std::string_view key, Fill&& fill) {
    Key(key);
    Flow flow(out_, compact_);
    flow.Open();
    fill(flow);
    flow.Close();
  }

  // The counts given, and those that differ from the lengths of their lists.
  void WriteResource(std::string_view key) {
    std::vector<std::pair<std::string_view, std::int16_t>> counts;
    for (const CSS_CountedList& list : kCountedLists) {
      if (CountWritten(list, store_))
        counts.emplace_back(list.count, (store_.GetResource().*list.get)());
    }
    if (counts.empty()) return;
    FlowLine(key, [&](Flow& flow) {
      for (const auto& [name, count] : counts)
        flow.Item(name, Decimal(count));
    });
  }

  // A list of `length` elements, each written by `element(flow, index)`, which says whether
  // there was one (null is written where there was none).
  template <class Element>
  void List(std::string_view key, int length, Element&& element) {
    if (length == 0) return;
    Key(key);
    out_ += '[';
    Blank("\n");
    for (int i = 0; i < length; ++i) {
      if (i > 0) {
        out_ += ',';
        Blank("\n");
      }
      Blank("        ");
      Flow flow(out_, compact_);
      if (!element(flow, i)) out_ += "null";
    }
    Blank("\n      ");
    out_ += ']';
  }
  template <class Records>
  void RecordList(std::string_view key, const Records& records) {
    List(key, records.GetRecordCount(),
         [&](Flow& flow, int i) { return Element(flow, records, i, [] {}); });
  }
  // The element at `i` of a list: the record of `records` there with its sub-records. An element
  // whose record is declined but that has sub-records is written with a cleared record, which is
  // as close as a site file comes.
  template <class Records, class SubRecords>
  bool Element(Flow& flow, const Records& records, int i, SubRecords&& subRecords) {
    const std::size_t before = out_.size();
    flow.Open();
    const typename Records::Item* record = records.Find(i + Records::kFirstIndex);
    if (record != nullptr) WriteFields(flow, kRecordFieldInfos<typename Records::Item>, *record);
    const std::size_t fields = out_.size();
    subRecords();
    if (record == nullptr && out_.size() == fields) {
      out_.resize(before);
      return false;
    }
    flow.Close();
    return true;
  }

  void TimeGroups(std::string_view key) {
    const CSDevice_TimeGroupZone& groups = store_.GetTimeGroupZone();
    List(key, groups.GetRecordCount(), [&](Flow& /*flow*/, int i) {
      const std::vector<CSDevice_TimeGroupZoneItem>* zones = groups.FindGroup(i + 1);
      if (zones == nullptr) return false;
      if (zones->empty()) {
        out_ += compact_ ? "{\"Zones\":[]}" : "{ \"Zones\": [] }";
        return true;
      }
      out_ += compact_ ? "{\"Zones\":[" : "{ \"Zones\": [\n";
      for (std::size_t z = 0; z < zones->size(); ++z) {
        if (z > 0) {
          out_ += ',';
          Blank("\n");
        }
        Blank("          ");
        Flow flow(out_, compact_);
        flow.Open();
        WriteFields(flow, kRecordFieldInfos<CSDevice_TimeGroupZoneItem>, (*zones)[z]);
        flow.Close();
      }
      Blank("\n        ");
      out_ += compact_ ? "]}" : "] }";
      return true;
    });
  }

  std::string& out_;
  const CSApplicationManagerStd& store_;
  bool compact_;
  const CSS_ControllerText* was_ = nullptr;
  CSS_ControllerLayout* layout_ = nullptr;
  std::bitset<kControllerKeyCount> rewrite_;
  std::size_t start_ = 0;  // where the controller's text begins in `out_`
  bool first_ = true;
};

}  // namespace

void CSS_SiteWriter::Enums(std::span<const CSS_SiteEnumText> texts) {
  if (texts.empty()) return;
  // By enumeration and value; the last text of a value is the one that holds.
  std::map<std::pair<CSToolEnumId, int>, std::string_view> sorted;
  for (const CSS_SiteEnumText& text : texts)
    sorted[{text.id, text.value}] = text.text;
  out_ += "{\n  \"Enums\": {\n";
  started_ = true;
  std::optional<CSToolEnumId> open;
  std::optional<Flow> flow;
  for (const auto& [key, text] : sorted) {
    if (open != key.first) {
      if (open) {
        flow->Close();
        out_ += ",\n";
      }
      open = key.first;
      out_ += "    ";
      AppendJsonString(out_, CSToolEnum::Name(key.first));
      out_ += ": ";
      flow.emplace(out_, false);
      flow->Open();
    }
    std::string value;
    AppendJsonString(value, text);
    flow->Item(std::to_string(key.second), value);
  }
  flow->Close();
  out_ += "\n  },\n";
}

void CSS_SiteWriter::StartControllers() {
  if (!started_) out_ += "{\n";
  started_ = true;
  out_ += "  \"Controllers\": [";
}

void CSS_SiteWriter::Controller(const CSS_ControllerAddress& address,
                                const CSApplicationManagerStd& store) {
  BeforeController();
  ControllerText(out_, address, store);
}

void CSS_SiteWriter::ControllerText(std::string& out, const CSS_ControllerAddress& address,
                                    const CSApplicationManagerStd& store, bool compact) {
  ControllerWriter(out, store, compact).Write(address);
}

CSS_ControllerLayout CSS_SiteWriter::CompactControllerText(std::string& out,
                                                           const CSS_ControllerAddress& address,
                                                           const CSApplicationManagerStd& store,
                                                           const CSS_ControllerText* was) {
  CSS_ControllerLayout layout{};
  ControllerWriter(out, store, was, &layout).Write(address);
  return layout;
}

void CSS_SiteWriter::AppendController(std::string_view text) {
  BeforeController();
  out_ += text;
}

void CSS_SiteWriter::BeforeController() {
  if (written_ == 0) StartControllers();
  out_ += written_ == 0 ? "\n" : ",\n";
  ++written_;
}

void CSS_SiteWriter::Finish() {
  if (written_ == 0) {
    StartControllers();
    out_ += "]\n}\n";
    return;
  }
  out_ += "\n  ]\n}\n";
}

namespace {

// One thread's writing of controllers: each one's text, from its records.
struct ControllerTextWorker {
  using Context = CSS_SiteData;
  using Input = std::size_t;
  using Output = std::string;

  explicit ControllerTextWorker(const CSS_SiteData& site_) : site(site_) {}

  void Run(std::size_t controller, std::string& out) {
    out.clear();
    site.Load(controller, store);
    CSS_SiteWriter::ControllerText(out, site.AddressOf(controller), store);
  }

  const CSS_SiteData& site;
  CSApplicationManagerStd store;
};

}  // namespace

bool WriteSite(const CSS_SiteData& site, const std::function<bool(std::string_view)>& sink,
               unsigned jobs) {
  std::string text;
  CSS_SiteWriter writer(text);
  writer.Enums(site.enumTexts);
  const bool going = RunOrdered<ControllerTextWorker>(site, site.Count(), jobs,
                                                      [&](const std::string& controller) {
                                                        writer.AppendController(controller);
                                                        const bool taken = sink(text);
                                                        text.clear();
                                                        return taken;
                                                      });
  if (!going) return false;
  writer.Finish();
  return sink(text);
}

std::string WriteSite(const CSS_SiteData& site) {
  std::string text;
  WriteSite(
      site,
      [&text](std::string_view piece) {
        text.append(piece);
        return true;
      },
      1);
  return text;
}

}  // namespace ssmsg
