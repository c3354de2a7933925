// "noxadmin levels": the named levels in words.
#include <ostream>

#include "common/catalogue.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"

namespace nox::admin {
namespace {

bool IsPlaceholder(const CatalogueEntry& entry) {
  return std::string_view(entry.description).rfind("Placeholder", 0) == 0;
}

}  // namespace

std::vector<std::string> RestrictionsOf(const LevelMasks& masks) {
  std::vector<std::string> lines;
  for (int mask = 1; mask <= 3; ++mask) {
    for (int bit = 0; bit < 32; ++bit) {
      if (!masks.Bit(mask, bit)) continue;
      const int position = CataloguePosition(mask, bit);
      if (bit < 16 && position <= kCatalogueSize && !IsPlaceholder(kCatalogue[position - 1])) {
        lines.push_back(kCatalogue[position - 1].description);
      }
      for (const BitHandling& handling : kBitHandlings) {
        if (handling.mask_number == mask && handling.bit == bit) {
          lines.push_back(handling.description);
        }
      }
    }
  }
  return lines;
}

int Levels(Session& session, const ParsedArgs& args) {
  bool any = false;
  for (const SecurityLevel& level : kSecurityLevels) {
    if (!args.positional.empty() && !EqualsIgnoreCase(args.positional[0], level.name)) continue;
    if (any) session.out() << "\n";
    any = true;
    session.out() << level.name << "  (" << level.triple << ")\n";
    const std::vector<std::string> lines = RestrictionsOf(ReadLevelTriple(level.triple));
    if (lines.empty()) session.out() << "  no restriction\n";
    for (const std::string& line : lines) session.out() << "  - " << line << "\n";
  }
  if (!any) {
    throw Refusal("no level \"" + args.positional[0] + "\"; \"noxadmin levels\" lists them",
                  ProblemKind::kNotFound);
  }
  return kExitOk;
}

}  // namespace nox::admin
