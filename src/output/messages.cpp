#include "output/messages.h"

namespace tarnwick {

namespace {
constexpr const MessageText* kAll[] = {
#define TARNWICK_MESSAGE(id, ...) &msg::id,
#include "output/messages.def"
#undef TARNWICK_MESSAGE
};
}  // namespace

std::span<const MessageText* const> all_messages() { return kAll; }

}  // namespace tarnwick
