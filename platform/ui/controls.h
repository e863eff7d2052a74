#pragma once

#include <string>
#include <vector>

using WindowHandle = void*;
using IconHandle = void*;

// The controls of a running dialog, by their ids in its template, and the
// resources dialogs show.
class Controls {
 public:
  virtual ~Controls() = default;
  virtual std::string Text(WindowHandle dialog, int controlId) = 0;
  virtual void SetText(WindowHandle dialog, int controlId, const std::string& text) = 0;
  virtual bool IsChecked(WindowHandle dialog, int controlId) = 0;
  virtual void Enable(WindowHandle dialog, int controlId, bool enabled) = 0;
  virtual void Show(WindowHandle dialog, int controlId, bool shown) = 0;
  virtual void SetCaption(WindowHandle dialog, const std::string& text) = 0;
  // A list box's rows, their columns separated by tabs that stop at
  // tabStops (in dialog units), and the row selected; -1 selects none.
  virtual void SetListRows(WindowHandle dialog, int controlId, const std::vector<std::string>& rows,
                           const std::vector<int>& tabStops, int selected) = 0;
  // The row selected in a list box; -1 when none is.
  virtual int SelectedRow(WindowHandle dialog, int controlId) = 0;
  virtual void Check(WindowHandle dialog, int controlId, bool checked) = 0;
  // Ends the dialog's modal loop with result.
  virtual void EndDialog(WindowHandle dialog, int result) = 0;
  virtual bool IsMinimised(WindowHandle dialog) = 0;
  // Paints the icon centred in the client area of a minimised window.
  virtual void PaintIconCentred(WindowHandle dialog, IconHandle icon) = 0;
  // The system's file-open dialog; true with the full path when a file was
  // chosen. filter is "Name|pattern||".
  virtual bool ChooseFile(WindowHandle owner, const std::string& filter,
                          const std::string& defaultExtension, std::string& path) = 0;
  virtual IconHandle LoadIcon(int resourceId) = 0;
  virtual std::string LoadText(unsigned resourceId) = 0;
};
