#include "output/messages.h"

namespace tarnwick {

namespace {
constexpr const Message* kAll[] = {
#define TARNWICK_MESSAGE(id, cp932, utf8, args) &msg::id,
#include "output/messages.def"
#undef TARNWICK_MESSAGE
};
}  // namespace

std::span<const Message* const> all_messages() { return kAll; }

}  // namespace tarnwick
