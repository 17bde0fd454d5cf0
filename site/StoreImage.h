#pragma once

// A controller's records as compact bytes: what a site keeps of a controller that it cannot read
// again cheaply (a database's rows), and what two controllers are compared by. Only what a site
// gives a store is kept: the fields of the field tables, the positions that hold a record, the
// time groups' zones and the capability counts.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>

#include "site/SiteData.h"

namespace ssmsg {

// Appends the records of `store` to `out`.
void EncodeStore(const CSApplicationManagerStd& store, std::string& out);
// Replaces everything `store` holds with the records that EncodeStore wrote into `image`.
void DecodeStore(std::string_view image, CSApplicationManagerStd& store);

// The records of a site kept as an image of each controller.
class ImageRecords final : public SiteRecords {
 public:
  explicit ImageRecords(std::vector<std::string> images) : images_(std::move(images)) {}
  void Load(std::size_t controller, CSApplicationManagerStd& store) const override {
    DecodeStore(images_.at(controller), store);
  }

 private:
  std::vector<std::string> images_;
};

}  // namespace ssmsg
