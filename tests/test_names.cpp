#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "commands/CSS_NameCommand.h"
#include "support.h"

namespace ssmsg::test {
namespace {

using Names = StoreTest;

// The text of one piece of a name: the record number element (none for the XTRA unit), the
// column and the piece.
std::string Piece(const std::string& numberTag, int number, int column, std::string_view piece) {
  return (numberTag.empty()
              ? ""
              : "<" + numberTag + ">" + std::to_string(number) + "</" + numberTag + ">") +
         "<Column>" + std::to_string(column) + "</Column><Name>" + std::string(piece) + "</Name>";
}

// How a name is cut, shown on the XTRA unit's name: only the whole name is trimmed, pieces keep
// their spaces, and the column is 0 for the first piece, then the piece's 1-based position.
TEST_F(Names, NamesGoInPiecesOfTenWithTheirColumns) {
  struct Case {
    std::string name;
    std::vector<std::pair<int, std::string>> pieces;  // column, piece
  };
  const Case cases[] = {
      {"", {}},
      {" \t\n\v\f\r ", {}},
      {"Gatehouse1", {{0, "Gatehouse1"}}},
      {"Gatehouse12", {{0, "Gatehouse1"}, {11, "2"}}},
      {"0123456789abcdefghijABCDEFGHIJvwxyz",
       {{0, "0123456789"}, {11, "abcdefghij"}, {21, "ABCDEFGHIJ"}, {31, "vwxyz"}}},
      {"\t Bay 9     Lift \r\n", {{0, "Bay 9     "}, {11, "Lift"}}},
      {"R&D <lab>", {{0, "R&D <lab>"}}},
  };
  for (const Case& c : cases) {
    out.clear();
    store.GetConfig().Name = c.name;
    EXPECT_TRUE(Run(175));
    CSS_StringList expected;
    for (const auto& [column, piece] : c.pieces) {
      expected.push_back(Msg("XTRA", "SetName", Piece("", 0, column, piece)));
    }
    EXPECT_EQ(out, expected) << '"' << c.name << '"';
  }
}

// The splitter that hosts call: each cut leaves the rest of the name in `rest`, and the counter
// runs 0, 11, 21, ... whatever the pieces hold.
TEST(NextNamePiece, CutsTheFrontAndKeepsTheRest) {
  struct Step {
    std::string piece, rest;
    int counter;
    bool cut;
  };
  const struct {
    std::string name;
    std::vector<Step> steps;
  } cases[] = {
      {"", {{"", "", 11, false}}},
      {"Gatehouse1", {{"Gatehouse1", "", 11, true}, {"", "", 21, false}}},
      {"Gatehouse12", {{"Gatehouse1", "2", 11, true}, {"2", "", 21, true}, {"", "", 31, false}}},
      {"0123456789abcdefghij ",
       {{"0123456789", "abcdefghij ", 11, true},
        {"abcdefghij", " ", 21, true},
        {" ", "", 31, true}}},
  };
  for (const auto& c : cases) {
    std::string rest = c.name, piece = "stale";
    int counter = 0;
    for (const Step& step : c.steps) {
      EXPECT_EQ(NextNamePiece(rest, counter, piece), step.cut) << c.name;
      EXPECT_EQ(piece, step.piece) << c.name;
      EXPECT_EQ(rest, step.rest) << c.name;
      EXPECT_EQ(counter, step.counter) << c.name;
    }
  }
}

// The input, output and reader names walk their records up to the controller's count; every
// record the container hands out with a non-blank name is sent under its 1-based number, and
// nothing of one name carries into the next.
TEST_F(Names, RecordNamesFollowTheControllerCount) {
  struct Case {
    int task;
    const char* messageType;
    const char* action;
    const char* numberTag;
    void (CSDevice_Resource::*setCount)(std::int16_t);
    void (*setName)(CSApplicationManagerStd&, int, std::string);
  };
  const Case cases[] = {
      {162, "Inputs", "InputName", "Input", &CSDevice_Resource::SetInputs,
       [](CSApplicationManagerStd& s, int i, std::string n) {
         s.GetInputType().Set(i, {.Name = std::move(n)});
       }},
      {166, "Outputs", "OutputName", "Output", &CSDevice_Resource::SetOutputs,
       [](CSApplicationManagerStd& s, int i, std::string n) {
         s.GetOutputType().Set(i, {.Name = std::move(n)});
       }},
      {169, "Reader", "ReaderName", "Reader", &CSDevice_Resource::SetReaders,
       [](CSApplicationManagerStd& s, int i, std::string n) {
         s.GetRdConfiguration().Set(i, {.Name = std::move(n)});
       }},
  };
  for (const Case& c : cases) {
    store.Clear();
    out.clear();
    c.setName(store, 0, "Gate house A1");
    c.setName(store, 1, "   ");
    // index 2 is declined
    c.setName(store, 3, "X");
    c.setName(store, 4, "Beyond the count");
    (store.GetResource().*c.setCount)(4);
    EXPECT_TRUE(Run(c.task));
    EXPECT_EQ(out, (CSS_StringList{
                       Msg(c.messageType, c.action, Piece(c.numberTag, 1, 0, "Gate house")),
                       Msg(c.messageType, c.action, Piece(c.numberTag, 1, 11, " A1")),
                       Msg(c.messageType, c.action, Piece(c.numberTag, 4, 0, "X")),
                   }))
        << c.task;

    out.clear();
    for (int count : {0, -1}) {
      (store.GetResource().*c.setCount)(static_cast<std::int16_t>(count));
      EXPECT_TRUE(Run(c.task)) << c.task;
    }
    EXPECT_TRUE(out.empty()) << c.task;
  }
}

}  // namespace
}  // namespace ssmsg::test
