#include "platform/render/text_input_events.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/ui/text_input.h"

namespace lorvane {
namespace {

std::optional<EditingKey> editingKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_BACKSPACE:
      return EditingKey::Backspace;
    case SDLK_DELETE:
      return EditingKey::Delete;
    case SDLK_LEFT:
      return EditingKey::Left;
    case SDLK_RIGHT:
      return EditingKey::Right;
    case SDLK_UP:
      return EditingKey::Up;
    case SDLK_DOWN:
      return EditingKey::Down;
    case SDLK_HOME:
      return EditingKey::Home;
    case SDLK_END:
      return EditingKey::End;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return EditingKey::Return;
    case SDLK_TAB:
      return EditingKey::Tab;
    case SDLK_ESCAPE:
      return EditingKey::Escape;
    default:
      return std::nullopt;
  }
}

std::optional<EditingCommand> editingCommand(SDL_Keycode key) {
  switch (key) {
    case SDLK_a:
      return EditingCommand::SelectAll;
    case SDLK_c:
      return EditingCommand::Copy;
    case SDLK_x:
      return EditingCommand::Cut;
    case SDLK_v:
      return EditingCommand::Paste;
    default:
      return std::nullopt;
  }
}

}  // namespace

bool dispatchTextInputEvent(const SDL_Event& event) {
  if (event.type == SDL_TEXTEDITING_EXT) {
    // SDL hands long compositions over on the heap, ours to free.
    if (TextInput* input = TextInput::firstResponder(); input && event.editExt.text) {
      input->setMarkedText(event.editExt.text, std::size_t(std::max(0, event.editExt.start)));
    }
    SDL_free(event.editExt.text);
    return true;
  }
  TextInput* input = TextInput::firstResponder();
  if (!input) return false;
  switch (event.type) {
    case SDL_TEXTINPUT:
      input->insertText(event.text.text);
      return true;
    case SDL_TEXTEDITING:
      input->setMarkedText(event.edit.text, std::size_t(std::max(0, event.edit.start)));
      return true;
    case SDL_KEYDOWN: {
      const SDL_Keysym& keysym = event.key.keysym;
      const bool command = (keysym.mod & (KMOD_CTRL | KMOD_GUI)) != 0;
      if (command) {
        if (auto c = editingCommand(keysym.sym)) input->perform(*c);
      } else if (auto key = editingKey(keysym.sym)) {
        input->keyDown(*key, (keysym.mod & KMOD_SHIFT) != 0);
      }
      return true;
    }
    case SDL_KEYUP:
      return true;
    default:
      return false;
  }
}

TextInputSession::~TextInputSession() {
  if (active_) SDL_StopTextInput();
}

void TextInputSession::update(const AffineTransform& windowToPixels) {
  if (!window_) return;
  TextInput* input = TextInput::firstResponder();
  if (!input) {
    if (active_) SDL_StopTextInput();
    active_ = false;
    return;
  }
  Rect caret = windowToPixels.applyToRect(input->caretRectInWindow());
  SDL_Rect pixels{int(std::lround(caret.x())), int(std::lround(caret.y())),
                  int(std::lround(caret.width())), int(std::lround(caret.height()))};
  if (!active_) {
    SDL_StartTextInput();
    active_ = true;
  }
  if (pixels.x != caret_.x || pixels.y != caret_.y || pixels.w != caret_.w ||
      pixels.h != caret_.h) {
    caret_ = pixels;
    SDL_SetTextInputRect(&caret_);
  }
}

}  // namespace lorvane
