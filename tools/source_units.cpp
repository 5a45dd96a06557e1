#include "tools/source_units.h"

#include <fstream>
#include <iterator>

#include "protocols/records.h"
#include "tools/line_output.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SimFailure(SimFailure::kBadArguments, "cannot read " + path);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) throw SimFailure(SimFailure::kBadArguments, path + " is empty");
  return bytes;
}

Bytes Required(std::optional<Bytes> unit, const std::string& what) {
  if (!unit) throw SimFailure(SimFailure::kBadArguments, what);
  return std::move(*unit);
}

class Builder {
 public:
  Builder(const TextCodec& codepage, std::vector<Bytes>& out) : codepage_(codepage), out_(out) {}

  void operator()(const HexUnit& unit) { out_.push_back(unit.bytes); }
  void operator()(const FileUnit& unit) { out_.push_back(ReadWholeFile(unit.path)); }
  void operator()(const Vl3RegionUnit& unit) {
    out_.push_back(Vl3Region(unit.size_ms, unit.over_ms, unit.extra_ms));
  }
  void operator()(const Vl3NoticeUnit& unit) {
    const std::string wire = codepage_.ToWire(unit.text);
    if (wire.size() > 0xFFFF - TBlockNotice::kHeaderSize - 10) {
      throw SimFailure(SimFailure::kBadArguments, "--vl3-notice: the text is too long");
    }
    out_.push_back(Vl3Notice(unit.kind, unit.size_ms, wire));
  }
  void operator()(const Vl3MessageUnit& unit) {
    out_.push_back(BuildVl3Frame(unit.type, unit.num, unit.payload));
  }
  void operator()(const Vl2RegionUnit& unit) {
    out_.push_back(*BuildVl2Frame(vl2_frame::kPrepareBlock, unit.size_seconds, ""));
    out_.push_back(*BuildVl2Frame(vl2_frame::kSendBlock, unit.over_seconds, ""));
  }
  void operator()(const Vl2NoticeUnit& unit) {
    out_.push_back(Required(BuildVl2Frame(unit.code, unit.seconds, codepage_.ToWire(unit.text)),
                            "--vl2-notice: a VL2 text holds at most " +
                                std::to_string(vl2_frame::kMaxText) + " bytes"));
  }
  void operator()(const DrcpBlockUnit& unit) {
    Bytes element = DrcpBlockElement(unit.delay_ms, unit.size_ms, unit.over_ms);
    out_.push_back(unit.in_uecp_frame ? *BuildUecpFrame(element) : std::move(element));
  }
  void operator()(const RadiotextUnit& unit) {
    const std::string what =
        "--uecp-rt: a radiotext holds at most " + std::to_string(kRadiotextMaxText) + " bytes";
    out_.push_back(*BuildUecpFrame(Required(RadiotextElement(codepage_.ToWire(unit.text)), what)));
  }

 private:
  const TextCodec& codepage_;
  std::vector<Bytes>& out_;
};

}  // namespace

std::vector<Bytes> BuildUnits(const std::vector<UnitRecipe>& recipes, const TextCodec& codepage) {
  std::vector<Bytes> units;
  Builder builder(codepage, units);
  for (const UnitRecipe& recipe : recipes) std::visit(builder, recipe);
  return units;
}

}  // namespace trivane::sim
