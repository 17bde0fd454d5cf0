#include "site/StoreImage.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/CSDevice_Fields.h"
#include "json/Utf8.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace {

// Numbers as their own bytes, in the machine's order: an image kept outside the process names the
// order with its layout.
template <class T>
void Put(std::string& out, T value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

// Reads an image, never past its end: once a read would go past it, every read gives zeros and
// nothing more is taken (Failed).
class Reader {
 public:
  explicit Reader(std::string_view image) : at_(image.data()), end_(image.data() + image.size()) {}
  template <class T>
  T Get() {
    T value{};
    if (Take(sizeof value)) std::memcpy(&value, at_ - sizeof value, sizeof value);
    return value;
  }
  std::string_view Piece(std::size_t size) {
    if (!Take(size)) return {};
    return {at_ - size, size};
  }
  // A text of `size` bytes, which must be one that a site may hold: UTF-8, without a control
  // character but tab.
  std::string_view Text(std::size_t size) {
    const std::string_view text = Piece(size);
    if (!utf8::IsValid(text) || utf8::FirstControl(text)) failed_ = true;
    return text;
  }
  // A count of items that each take at least one byte, or 0 when there cannot be as many.
  std::size_t Count(std::int32_t count) {
    if (count < 0 || static_cast<std::size_t>(count) > Left()) failed_ = true;
    return failed_ ? 0 : static_cast<std::size_t>(count);
  }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - at_); }
  bool Failed() const { return failed_; }

 private:
  bool Take(std::size_t size) {
    if (failed_ || size > Left()) {
      failed_ = true;
      return false;
    }
    at_ += size;
    return true;
  }

  const char* at_;
  const char* end_;
  bool failed_ = false;
};

// Each field as its member's own bytes, a text as its length and bytes, in the table's order.
template <class Record>
void PutFields(std::string& out, const Record& record) {
  kRecordFields<Record>.ForEach([&](const auto& field) {
    using Field = std::remove_cvref_t<decltype(field)>;
    if constexpr (Field::kKind == CSS_FieldKind::Text) {
      const std::string& text = Field::Of(record);
      Put(out, static_cast<std::uint32_t>(text.size()));
      out += text;
    } else {
      Put(out, Field::Of(record));
    }
  });
  // The five level time groups of an input's timing are not fields of its table.
  if constexpr (std::is_same_v<Record, CSDevice_InputTimeItem>) {
    for (const std::int16_t group : record.LevelTG)
      Put(out, group);
  }
}

template <class Record>
void GetFields(Reader& in, Record& record) {
  kRecordFields<Record>.ForEach([&](const auto& field) {
    using Field = std::remove_cvref_t<decltype(field)>;
    if constexpr (Field::kKind == CSS_FieldKind::Text) {
      Field::Of(record).assign(in.Text(in.Get<std::uint32_t>()));
    } else {
      Field::Of(record) = in.Get<typename Field::Type>();
    }
  });
  if constexpr (std::is_same_v<Record, CSDevice_InputTimeItem>) {
    for (std::int16_t& group : record.LevelTG)
      group = in.Get<std::int16_t>();
  }
}

template <class Records>
void PutList(std::string& out, const Records& records) {
  const int count = records.GetRecordCount();
  Put(out, static_cast<std::int32_t>(count));
  for (int p = 0; p < count; ++p) {
    const auto* record = records.Find(p + Records::kFirstIndex);
    Put(out, static_cast<std::uint8_t>(record != nullptr));
    if (record != nullptr) PutFields(out, *record);
  }
}

template <class Records>
void GetList(Reader& in, Records& records) {
  const std::size_t count = in.Count(in.Get<std::int32_t>());
  records.Reserve(count);
  typename Records::Item item{};
  for (std::size_t p = 0; p < count && !in.Failed(); ++p) {
    if (in.Get<std::uint8_t>() == 0) {
      records.Append(std::nullopt);
      continue;
    }
    GetFields(in, item);
    records.Append(item);
  }
}

// Calls `each` with the list of `part` of `store`; false for a part that is no list.
template <class Store, class Each>
bool WithList(Store& store, StorePart part, Each&& each) {
  switch (part) {
    case StorePart::FLan:
      each(store.GetFLan_Setup());
      return true;
    case StorePart::Port:
      each(store.GetPort());
      return true;
    case StorePart::Holiday:
      each(store.GetHoliday());
      return true;
    case StorePart::TimeZone:
      each(store.GetTimeZone());
      return true;
    case StorePart::InputType:
      each(store.GetInputType());
      return true;
    case StorePart::InputTime:
      each(store.GetInputTime());
      return true;
    case StorePart::InputLink:
      each(store.GetInputLink());
      return true;
    case StorePart::OutputType:
      each(store.GetOutputType());
      return true;
    case StorePart::OutputTime:
      each(store.GetOutputTime());
      return true;
    case StorePart::RdConfiguration:
      each(store.GetRdConfiguration());
      return true;
    case StorePart::RdCardControl:
      each(store.GetRdCardControl());
      return true;
    case StorePart::RdCardLocation:
      each(store.GetRdCardLocation());
      return true;
    case StorePart::RdCardStructure:
      each(store.GetRdCardStructure());
      return true;
    case StorePart::RdAccessAlarm:
      each(store.GetRdAccessAlarm());
      return true;
    default:
      return false;
  }
}

}  // namespace

void EncodeStorePart(const CSApplicationManagerStd& store, StorePart part, std::string& out) {
  if (WithList(store, part, [&out](const auto& records) { PutList(out, records); })) return;
  switch (part) {
    case StorePart::Config: {
      PutFields(out, store.GetConfig());
      const std::string& name = store.GetConfig().Name;
      Put(out, static_cast<std::uint32_t>(name.size()));
      out += name;
      break;
    }
    case StorePart::Resource:
      for (const CSS_CountedList& counted : kCountedLists) {
        Put(out, (store.GetResource().*counted.get)());
        Put(out, static_cast<std::uint8_t>((store.GetResource().*counted.given)() ? 1 : 0));
      }
      break;
    case StorePart::Xtra:
      PutFields(out, store.GetXTRA());
      break;
    default: {  // the time groups
      const CSDevice_TimeGroupZone& groups = store.GetTimeGroupZone();
      Put(out, static_cast<std::int32_t>(groups.GetRecordCount()));
      for (int g = 1; g <= groups.GetRecordCount(); ++g) {
        const std::vector<CSDevice_TimeGroupZoneItem>* zones = groups.FindGroup(g);
        Put(out,
            static_cast<std::int32_t>(zones == nullptr ? -1 : static_cast<int>(zones->size())));
        if (zones == nullptr) continue;
        for (const CSDevice_TimeGroupZoneItem& zone : *zones)
          PutFields(out, zone);
      }
    }
  }
}

void MoveStorePart(StorePart part, CSApplicationManagerStd& from, CSApplicationManagerStd& to) {
  const bool list = WithList(to, part, [&](auto& target) {
    WithList(from, part, [&](auto& source) {
      if constexpr (std::is_same_v<decltype(target), decltype(source)>) target = std::move(source);
    });
  });
  if (list) return;
  switch (part) {
    case StorePart::Config:
      to.GetConfig() = std::move(from.GetConfig());
      break;
    case StorePart::Resource:
      to.GetResource() = from.GetResource();
      break;
    case StorePart::Xtra:
      to.GetXTRA() = std::move(from.GetXTRA());
      break;
    default:  // the time groups
      to.GetTimeGroupZone() = std::move(from.GetTimeGroupZone());
  }
}

void EncodeStore(const CSApplicationManagerStd& store, std::string& out) {
  for (std::size_t part = 0; part < kStorePartCount; ++part)
    EncodeStorePart(store, static_cast<StorePart>(part), out);
}

StoreImage ImageOf(const CSApplicationManagerStd& store) {
  StoreImage image;
  for (std::size_t part = 0; part < kStorePartCount; ++part) {
    EncodeStorePart(store, static_cast<StorePart>(part), image.bytes);
    image.ends[part] = image.bytes.size();
  }
  return image;
}

std::bitset<kStorePartCount> ChangedParts(const StoreImage& a, const StoreImage& b) {
  std::bitset<kStorePartCount> changed;
  for (std::size_t part = 0; part < kStorePartCount; ++part)
    changed[part] = a.Part(part) != b.Part(part);
  return changed;
}

bool DecodeStore(std::string_view image, CSApplicationManagerStd& store) {
  store.Clear();
  Reader in(image);
  GetFields(in, store.GetConfig());
  store.GetConfig().Name.assign(in.Text(in.Get<std::uint32_t>()));
  for (const CSS_CountedList& counted : kCountedLists) {
    (store.GetResource().*counted.set)(in.Get<std::int16_t>());
    (store.GetResource().*counted.setGiven)(in.Get<std::uint8_t>() != 0);
  }
  GetFields(in, store.GetXTRA());
  for (std::size_t part = static_cast<std::size_t>(StorePart::FLan);
       part <= static_cast<std::size_t>(StorePart::RdAccessAlarm); ++part) {
    WithList(store, static_cast<StorePart>(part), [&in](auto& records) { GetList(in, records); });
  }
  CSDevice_TimeGroupZone& groups = store.GetTimeGroupZone();
  const std::size_t count = in.Count(in.Get<std::int32_t>());
  for (std::size_t g = 1; g <= count && !in.Failed(); ++g) {
    const auto zones = in.Get<std::int32_t>();
    if (zones < 0) {
      groups.Append(std::nullopt);
      continue;
    }
    std::vector<CSDevice_TimeGroupZoneItem> items(in.Count(zones));
    for (CSDevice_TimeGroupZoneItem& zone : items) {
      GetFields(in, zone);
      zone.TimeGroupNo = static_cast<std::int16_t>(g);
    }
    groups.Append(std::move(items));
  }
  if (in.Failed() || in.Left() != 0) {
    store.Clear();
    return false;
  }
  return true;
}

}  // namespace ssmsg
