#include "bench/large_controller.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::bench {
namespace {

// A small deterministic generator, so that every run sends the same configuration.
class Values {
 public:
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  // A number from `low` to `high`, both included.
  int In(int low, int high) {
    const auto span = static_cast<std::uint32_t>(high - low + 1);
    return low + static_cast<int>(Next() % span);
  }
  std::int16_t Short(int low, int high) { return static_cast<std::int16_t>(In(low, high)); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next()); }
  // A yes/no byte: mostly 0 and 1, sometimes another non-zero value.
  std::uint8_t Flag() {
    const int pick = In(0, 9);
    return static_cast<std::uint8_t>(pick < 5 ? 0 : pick < 9 ? 1 : In(2, 255));
  }

 private:
  std::uint64_t state_ = 0x5eed5eed5eed5eedULL;
};

constexpr std::array<std::string_view, 8> kPlaces = {
    "north wing",  "south lobby", "car park level", "loading bay",
    "server room", "east stairs", "canteen annex",  "main gate"};
constexpr std::array<std::string_view, 6> kThings = {"door", "barrier", "turnstile",
                                                     "gate", "shutter", "lift"};

// "Reader 017 - north wing door 3", 26 to 36 characters; every ninth name carries blanks around
// it, which the name messages trim.
std::string Name(Values& v, std::string_view kind, int number) {
  std::string name(kind);
  name += ' ';
  name += std::to_string(1000 + number).substr(1);
  name += " - ";
  name += kPlaces[static_cast<std::size_t>(v.In(0, kPlaces.size() - 1))];
  name += ' ';
  name += kThings[static_cast<std::size_t>(v.In(0, kThings.size() - 1))];
  name += ' ';
  name += std::to_string(v.In(1, 40));
  if (number % 9 == 0) name = "  " + name + ' ';
  return name;
}

void FillResource(CSDevice_Resource& r, const ControllerSize& size) {
  const auto count = [](int n) { return static_cast<std::int16_t>(n); };
  r.SetInputs(count(size.inputs));
  r.SetMaxInputs(count(size.inputs));
  r.SetOutputs(count(size.outputs));
  r.SetMaxOutputs(count(size.outputs));
  r.SetReaders(count(size.readers));
  r.SetMaxReaders(count(size.readers));
  r.SetComms(count(size.ports));
  r.SetMaxComms(count(size.ports));
  r.SetCommsFLAN(count(size.fieldLanNodes));
  r.SetMaxCommsFLAN(count(size.fieldLanNodes));
  r.SetTimeZones(count(size.timeZones));
  r.SetMaxTimeZones(count(size.timeZones));
  r.SetTimeGroups(count(size.timeGroups));
  r.SetMaxTimeGroups(count(size.timeGroups));
  r.SetAppsAccess(count(size.readers));
  r.SetAppsVORAN(1);
  r.SetFunctionsRandomCheck(count(size.readers));
  r.SetCards(250000);
  r.SetFunctionsAPB(true);
  r.SetFunctionsATB(true);
  r.SetFunctionsCapture(true);
}

void FillController(CSApplicationManagerStd& store, Values& v) {
  CSDevice_Config& config = store.GetConfig();
  config.DbMode = v.In(0, 2);
  config.TGEnabled = 1;
  config.PINEnabled = v.Flag();
  config.RandomEnabled = v.Flag();
  config.OutGroupEnabled = 7;
  config.VendEnabled = 0;
  config.ExpireEnabled = v.Flag();
  config.PropertyEnabled = v.Flag();
  config.DbSize = 250000;
  config.LockSize = 3000000000u;  // beyond the signed range: printed negative
  config.In = -2;
  config.Out = 3;
  config.Name = " XTRA unit of the east building ";

  CSDevice_XTRA& xtra = store.GetXTRA();
  xtra.ApplicationNo = 12;
  xtra.Mode = 2;
  xtra.Name = "VORAN kiosk";
}

void FillSetup(CSApplicationManagerStd& store, const ControllerSize& size, Values& v) {
  for (int i = 0; i < size.fieldLanNodes; ++i) {
    store.GetFLan_Setup().Set(
        i, {.FLAN_Node = static_cast<std::int16_t>(i + 1), .Type = v.Short(1, 5)});
  }
  for (int i = 0; i < size.ports; ++i) {
    store.GetPort().Set(i, {.SerialPort = static_cast<std::int16_t>(i + 1),
                            .Type = v.Short(1, 3),
                            .SubType = v.Short(-5, 20),
                            .TypeRef = v.Short(0, 300),
                            .BaudRate = v.Short(0, 7),
                            .Bits = v.Short(0, 1),
                            .Parity = v.Short(0, 2),
                            .PeripheralType = v.Short(0, 4),
                            .AdditionalEvent = v.Short(-1, 1000)});
  }
}

void FillSchedules(CSApplicationManagerStd& store, const ControllerSize& size, Values& v) {
  for (int i = 0; i < size.holidays; ++i) {
    store.GetHoliday().Set(i, {.Month = v.In(1, 12), .Day = v.In(1, 28)});
  }
  for (int zone = 1; zone <= size.timeZones; ++zone) {
    store.GetTimeZone().Set(zone, {.ZoneNo = static_cast<std::int16_t>(zone),
                                   .StartHour = v.Short(0, 23),
                                   .StartMinute = v.Short(0, 59),
                                   .EndHour = v.Short(0, 23),
                                   .EndMinute = v.Short(0, 59)});
  }
  // Every group has one to eight zones in every block of eight zone numbers.
  const int blocks = (size.timeZones + 7) / 8;
  for (int group = 1; group <= size.timeGroups; ++group) {
    std::vector<CSDevice_TimeGroupZoneItem> zones;
    for (int block = 0; block < blocks; ++block) {
      const int inBlock = 1 + (group + block) % 8;
      for (int k = 0; k < inBlock; ++k) {
        zones.push_back({.TimeGroupNo = static_cast<std::int16_t>(group),
                         .ZoneNo = static_cast<std::int16_t>(block * 8 + 1 + k),
                         .Monday = v.Flag(),
                         .Tuesday = v.Flag(),
                         .Wednesday = v.Flag(),
                         .Thursday = v.Flag(),
                         .Friday = v.Flag(),
                         .Saturday = v.Flag(),
                         .Sunday = v.Flag(),
                         .Holiday = v.Flag()});
      }
    }
    store.GetTimeGroupZone().SetGroup(group, std::move(zones));
  }
}

void FillInputsOutputs(CSApplicationManagerStd& store, const ControllerSize& size, Values& v) {
  for (int i = 0; i < size.inputs; ++i) {
    store.GetInputType().Set(i, {.Name = Name(v, "Input", i + 1),
                                 .DLan = v.Short(0, 3),
                                 .DNode = v.Short(0, 31),
                                 .DPort = v.Short(-8, 64),
                                 .Type = v.Short(0, 5),
                                 .TypeRef = v.Short(-100, 100),
                                 .EOL = v.Flag(),
                                 .Polarity = v.Flag(),
                                 .CountDelay = v.Short(-32768, 32767),
                                 .CountValue = static_cast<std::int32_t>(v.Next()) - 1000000000,
                                 .NameInitialised = 1});
    std::array<std::int16_t, CSDevice_InputTimeItem::kLevels> levels{};
    for (auto& level : levels)
      level = v.Short(0, 64);
    store.GetInputTime().Set(i, {.BounceTick = v.Short(0, 3),
                                 .Debounce = v.Short(0, 5000),
                                 .TickResolution = v.Short(0, 3),
                                 .Timeout = v.Short(-1, 32767),
                                 .LevelTG = levels});
    store.GetInputLink().Set(i, {.EnabledInputPort = v.Byte(),
                                 .EnabledInputLevel = v.Byte(),
                                 .EnabledOutputPort = v.Byte(),
                                 .EnabledOutputLevel = v.Byte(),
                                 .AlarmDis = v.Short(0, 4),
                                 .AlarmEna = v.Short(0, 4),
                                 .AlarmNear = v.Short(0, 4),
                                 .AlarmIn = v.Short(0, 4),
                                 .AlarmSleep = v.Short(0, 4),
                                 .AlarmDisRef = v.Short(-1, 999),
                                 .AlarmEnaRef = v.Short(-1, 999),
                                 .AlarmNearRef = v.Short(-1, 999),
                                 .AlarmInRef = v.Short(-1, 999),
                                 .AlarmSleepRef = v.Short(-1, 999)});
  }
  for (int i = 0; i < size.outputs; ++i) {
    store.GetOutputType().Set(i, {.Name = Name(v, "Output", i + 1),
                                  .DLan = v.Short(0, 3),
                                  .DNode = v.Short(0, 31),
                                  .DPort = v.Short(-8, 64),
                                  .Type = v.Short(0, 4),
                                  .TypeRef = v.Short(-100, 100),
                                  .Polarity = v.Short(0, 1),
                                  .EnabledInputPort = v.Byte(),
                                  .EnabledOutputPort = v.Byte(),
                                  .ControlInput = v.Byte(),
                                  .ControlOutput = v.Byte(),
                                  .EnabledInputLevel = v.Byte(),
                                  .EnabledOutputLevel = v.Byte(),
                                  .ControlInputLevel = v.Byte(),
                                  .ControlOutputLevel = v.Byte(),
                                  .NameInitialised = 1});
    store.GetOutputTime().Set(i, {.TTickResolution = v.Short(0, 3),
                                  .TTimeout = v.Short(-1, 32767),
                                  .PTickResolution = v.Short(0, 3),
                                  .Pulse = v.Short(0, 600),
                                  .TgControlled = v.Short(0, 64),
                                  .TgEnabled = v.Short(0, 64),
                                  .TgReport = v.Short(-1, 64)});
  }
}

void FillReaders(CSApplicationManagerStd& store, const ControllerSize& size, Values& v) {
  for (int i = 0; i < size.readers; ++i) {
    store.GetRdConfiguration().Set(i, {.Name = Name(v, "Reader", i + 1),
                                       .DLan = v.Short(0, 3),
                                       .DNode = v.Short(0, 31),
                                       .DPort = v.Short(-8, 64),
                                       .App = v.Short(0, 4),
                                       .Type = v.Short(0, 5),
                                       .ClkPolarity = v.Flag(),
                                       .LED = v.Short(0, 2),
                                       .LCD = v.Short(-1, 4),
                                       .CardLCD = v.Short(0, 4),
                                       .Complete = v.Short(0, 3),
                                       .BoothMode = v.Short(0, 2),
                                       .LinkRef = v.Short(-1, 500),
                                       .Power = v.Short(0, 1),
                                       .CheckType = v.Short(0, 2),
                                       .Percentage = v.Short(-5, 120),
                                       .NameInitialised = 1});
    store.GetRdCardControl().Set(i, {.APBTo = v.Short(0, 64),
                                     .APBFrom = v.Short(0, 64),
                                     .APBOffline = v.Short(0, 2),
                                     .APBReset = v.Short(-1, 1440),
                                     .ATBMinutes = v.Short(0, 1440),
                                     .ATBLink = v.Short(0, 64),
                                     .Capture = v.Short(0, 3),
                                     .Attempts = v.Short(0, 9),
                                     .DisableSeconds = v.Short(0, 3600),
                                     .DualBadge = v.Short(0, 1),
                                     .BadgeTimeout = v.Short(0, 60),
                                     .BadgeOutG = v.Short(-1, 16)});
    store.GetRdCardLocation().Set(i, {.FacilityStart = v.Short(0, 40),
                                      .FacilityEnd = v.Short(0, 40),
                                      .FacilityDigits = v.Short(0, 8),
                                      .CardStart = v.Short(0, 80),
                                      .CardEnd = v.Short(0, 80),
                                      .CardDigits = v.Short(0, 12),
                                      .AltStart = v.Short(-1, 80),
                                      .AltEnd = v.Short(-1, 80)});
    store.GetRdCardStructure().Set(i, {.CardType = v.Short(0, 30),
                                       .DeleteOffset = v.In(-100000, 100000),
                                       .ClientCode = static_cast<std::int32_t>(v.Next()),
                                       .SiteCode = v.Short(-32768, 32767),
                                       .ExactBits = v.Short(26, 200),
                                       .Duress = v.Short(-1, 9),
                                       .ParityCheck = v.Flag(),
                                       .Frame = v.Flag()});
    store.GetRdAccessAlarm().Set(i, {.AlarmOK = v.Short(0, 4),
                                     .AlarmFail = v.Short(0, 4),
                                     .AlarmRandom = v.Short(0, 4),
                                     .AlarmIllegal = v.Short(0, 4),
                                     .AlarmDuress = v.Short(0, 4),
                                     .AlarmOK_Ref = v.Short(-1, 999),
                                     .AlarmFail_Ref = v.Short(-1, 999),
                                     .AlarmRandom_Ref = v.Short(-1, 999),
                                     .AlarmIllegal_Ref = v.Short(-1, 999),
                                     .AlarmDuress_Ref = v.Short(-1, 999)});
  }
}

}  // namespace

void FillLargeController(CSApplicationManagerStd& store, const ControllerSize& size) {
  store.Clear();
  Values values;
  FillResource(store.GetResource(), size);
  FillController(store, values);
  FillSetup(store, size, values);
  FillSchedules(store, size, values);
  FillInputsOutputs(store, size, values);
  FillReaders(store, size, values);
}

}  // namespace ssmsg::bench
