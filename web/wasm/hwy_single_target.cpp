// Highway's run-time dispatch, for a build that compiles exactly one target
// (HWY_COMPILE_ONLY_EMU128) and has no Highway library to link: that target
// is the one supported and always chosen.
#include <hwy/targets.h>

namespace hwy {

int64_t SupportedTargets() { return HWY_STATIC_TARGET; }

ChosenTarget& GetChosenTarget() {
  static ChosenTarget chosen;
  return chosen;
}

}  // namespace hwy
