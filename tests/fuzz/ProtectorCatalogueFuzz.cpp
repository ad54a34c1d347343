// The protector catalogue "HPD Atten.txt": the menu entries, each entry's record, and storing
// fitted circuit values back into the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "base/OrvekError.h"
#include "protection/ProtectorCatalogue.h"

namespace {

bool SameStoredValues(const orvek::TCircuitValues& a, const orvek::TCircuitValues& b) {
  return a.Lcup == b.Lcup && a.Kcup == b.Kcup && a.Kskin == b.Kskin && a.Rskin == b.Rskin &&
         a.Kcush == b.Kcush && a.Rcush == b.Rcush && a.Lleak == b.Lleak && a.Rleak == b.Rleak &&
         a.Kmat == b.Kmat && a.Lmat == b.Lmat && a.Rmat == b.Rmat &&
         a.ReservedValue1 == b.ReservedValue1 && a.ReservedValue2 == b.ReservedValue2 &&
         a.LleakLevelCoefficient == b.LleakLevelCoefficient &&
         a.RleakLevelCoefficient == b.RleakLevelCoefficient;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string name = "HPD Atten.txt";
  const ProtectorCatalogue catalogue = ParseProtectorCatalogue(text, name);
  for (const TProtectorEntry& entry : catalogue.Entries) {
    fuzz::Expect(entry.EntryString.size() >= 9 && entry.KindCode.size() == 2 &&
                 entry.LastFrequencyIndex >= 0 &&
                 entry.LastFrequencyIndex < kMaxProtectorFrequencies);
    // A record the catalogue lists has been read and checked already: reading it again for a
    // prediction must not refuse it.
    ProtectorRecordData record;
    try {
      record = ReadProtectorRecord(text, entry, name);
    } catch (const OrvekError&) {
      fuzz::Expect(false);
    }
    fuzz::Expect(static_cast<int>(record.AttenuationTable.size()) == entry.LastFrequencyIndex + 1);
    if (!record.Circuit) continue;
    // Storing the values again changes neither the entries nor the values read back; none of this
    // may fail for a record that was read.
    const std::string stored =
        ReplaceCircuitLine(text, entry.Index, ComposeCircuitLine(*record.Circuit), name);
    const ProtectorCatalogue again = ParseProtectorCatalogue(stored, name);
    fuzz::Expect(again.Entries.size() == catalogue.Entries.size() &&
                 again.Messages.size() == catalogue.Messages.size());
    const ProtectorRecordData reread = ReadProtectorRecord(stored, entry, name);
    fuzz::Expect(reread.Circuit && SameStoredValues(*reread.Circuit, *record.Circuit));
  }
  return 0;
}
