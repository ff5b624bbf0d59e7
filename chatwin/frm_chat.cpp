#include "chatwin/frm_chat.h"

#include "plugin/module.h"

namespace brevant {

frmChat::frmChat(Module&) {}

frmChat::~frmChat() = default;

}  // namespace brevant
