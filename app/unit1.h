#pragma once
// The main form: a small caption strip shown for a moment at start, and the owner of
// the relay's components, which it wires together.

#include "form.h"
#include "label.h"
#include "memory_stream.h"
#include "menu.h"
#include "simple_tcp.h"
#include "timer.h"
#include "vek_tray_icon.h"

namespace quendra {

class TForm1 : public winapp::TForm {
  public:
    // Reads the form's description: its own settings, then its components in order.
    explicit TForm1(winapp::TComponent* owner);
    ~TForm1() override;

    trayicon::TVekTray* VekTray1 = nullptr;
    simpletcp::TSimpleTCPServer* Server1 = nullptr;
    winapp::TPopupMenu* PopupMenu1 = nullptr;
    winapp::TMenuItem* Exit1 = nullptr;
    winapp::TLabel* Label1 = nullptr;
    winapp::TTimer* Timer1 = nullptr;

    void Exit1Click(winapp::TObject* Sender);
    void FormCreate(winapp::TObject* Sender);
    void FormClose(winapp::TObject* Sender, winapp::TCloseAction& Action);
    void Server1ClientRead(winapp::TObject* Sender, simpletcp::TSimpleTCPClient* Client,
                           winapp::TStream* Stream);
    void Timer1Timer(winapp::TObject* Sender);
};

extern TForm1* Form1;

} // namespace quendra
