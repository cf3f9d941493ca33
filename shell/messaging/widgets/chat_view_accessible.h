// How a screen reader sees a chat view: a list whose items are its lines, each named by its
// text; an own line's description tells how its sending went ("发送中", "已发送",
// "发送失败"), which the view otherwise shows only by colour.
//
//   InstallChatViewAccessibility();     // once; ChatView does it in its constructor
//   ChatLineAdded(view, index);         // the view tells of its changes
#pragma once

namespace ov::shell {

class ChatView;

void InstallChatViewAccessibility();
void ChatLineAdded(ChatView* view, int index);
void ChatLineChanged(ChatView* view, int index);
void ChatLinesCleared(ChatView* view);

}  // namespace ov::shell
