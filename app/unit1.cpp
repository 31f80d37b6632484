#include "unit1.h"

#include <string>

#include "globals.h"
#include "program_dir.h"
#include "received_text.h"
#include "settings.h"

namespace quendra {

TForm1* Form1 = nullptr;

namespace {
constexpr char kStripText[] = "Holvik Quendra";
}

TForm1::TForm1(winapp::TComponent* owner) : TForm(owner) {
    using namespace winapp;
    SetCaption("Quendra");
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetLeft(420);
    SetTop(479);
    SetClientWidth(121);
    SetClientHeight(13);
    SetPosition(TPosition::poScreenCenter);
    SetFormStyle(TFormStyle::fsStayOnTop);
    SetColor(clBtnFace);
    SetFont(TFont(TFontDescription{"MS Sans Serif", -11, DEFAULT_CHARSET, clWindowText, false}));
    SetVisible(true);
    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };

    // Each component is created, then given its settings, in the description's order.
    Label1 = new TLabel(this);
    Label1->SetParent(this);
    Label1->SetBounds(0, 0, 121, 13);
    Label1->SetAlignment(TAlignment::taCenter);
    Label1->SetAutoSize(false);
    Label1->SetCaption(kStripText);
    TFont boldFont = Font();
    boldFont.SetBold(true);
    Label1->SetFont(boldFont);

    VekTray1 = new trayicon::TVekTray(this);
    VekTray1->SetVersion("1.00");

    Server1 = new simpletcp::TSimpleTCPServer(this);
    Server1->WritePort(23);
    Server1->OnClientRead = [this](TObject* sender, simpletcp::TSimpleTCPClient* client,
                                   TStream* stream) { Server1ClientRead(sender, client, stream); };

    PopupMenu1 = new TPopupMenu(this);
    Exit1 = new TMenuItem(this);
    Exit1->SetCaption("Exit");
    Exit1->OnClick = [this](TObject* sender) { Exit1Click(sender); };
    PopupMenu1->Items().Add(Exit1);
    // The tray's menu is created after the tray; the reference is set once it exists.
    VekTray1->SetPopupMenu(PopupMenu1);

    // Armed as soon as it has both its interval and its handler: the display time
    // counts from here.
    Timer1 = new TTimer(this);
    Timer1->SetInterval(1500);
    Timer1->SetOnTimer([this](TObject* sender) { Timer1Timer(sender); });
}

TForm1::~TForm1() {
    // The owner frees the menu before the tray, which keeps a plain reference to it:
    // clear that first, so that no mouse event over the icon can reach a freed menu.
    VekTray1->SetPopupMenu(nullptr);
}

void TForm1::FormCreate(winapp::TObject*) {
    Label1->SetCaption(kStripText);
    ApplySettings(ProgramDirectory(), [this](uint16_t port) { Server1->WritePort(port); });
    Server1->WriteListen(true);
}

void TForm1::FormClose(winapp::TObject*, winapp::TCloseAction&) {
    Server1->WriteListen(false);
}

void TForm1::Timer1Timer(winapp::TObject*) {
    SetVisible(false);
    Timer1->SetEnabled(false);
}

void TForm1::Exit1Click(winapp::TObject*) {
    Close();
}

void TForm1::Server1ClientRead(winapp::TObject*, simpletcp::TSimpleTCPClient*,
                               winapp::TStream* Stream) {
    std::string block(Stream->Size(), '\0');
    const size_t length = Stream->Read(&block[0], block.size());
    WriteReceivedText(AppDir, OutputFileName, block.data(), length);
}

} // namespace quendra
