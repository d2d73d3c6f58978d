#pragma once

namespace velmora {

// The window's caret, as the window system provides it. Pixel coordinates of the client area.
class CaretPort {
 public:
  virtual ~CaretPort() = default;
  virtual bool HasFocus() const = 0;
  // A solid caret of the given size (replacing none; the previous one was destroyed).
  virtual void CreateSolidCaret(int width, int height) = 0;
  virtual void DestroyCaret() = 0;
  virtual void ShowCaret() = 0;
  virtual void HideCaret() = 0;
  virtual void MoveCaret(int x, int y) = 0;
};

}  // namespace velmora
