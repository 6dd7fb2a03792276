#include "DisplayWindow.h"

#include "CellPainter.h"
#include "ComputerBraille.h"
#include "DisplaySimulator.h"
#include "HexText.h"

const char DisplayWindow::ClassName[] = "BrlVirtualDisplay";

namespace {
const UINT_PTR PollTimer = 1;
const UINT PollMs = 10;
// The display's keys in the order of their buttons, by their keyboard
// letters in the Linux tool's key map.
const char KeyLetters[CellLayout::Keys + 1] = "12345qwerty";

std::string KeyName(int index)
{
    char letter = KeyLetters[index];
    if (index < 5)
        return std::string("Key ") + letter;
    return "Key " + std::to_string(31 + index - 5) + " (" + letter + ")";
}
} // namespace

DisplayWindow::DisplayWindow(const WindowOptions& windowOptions, ComPortDisplay& comDisplay,
                             ProtocolTrace& protocolTrace, KeyScript& keyScript)
    : options(windowOptions), display(comDisplay), trace(protocolTrace), script(keyScript),
      keys(windowOptions.textCells)
{
}

bool DisplayWindow::Create(HINSTANCE instance, const std::string& portProblem)
{
    problem = portProblem;
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ClassName;
    if (!RegisterClassA(&wc))
        return false;

    DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    CellLayout least(0, options.textCells);
    RECT r = { 0, 0, options.width ? options.width : least.Width() + 200,
               options.height ? options.height : CellLayout(least.Width() + 200, options.textCells).Height() };
    AdjustWindowRect(&r, style, FALSE);
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    RECT saved;
    if (options.width) {
        // A fixed size is for pictures and tests: always at the same place.
        x = 0;
        y = 0;
    } else if (placement.Load(saved)) {
        r = saved;
        x = r.left;
        y = r.top;
    }
    std::string title = "brl-virtual-display " + options.port;
    window = CreateWindowExA(0, ClassName, title.c_str(), style, x, y, r.right - r.left, r.bottom - r.top, nullptr,
                             nullptr, instance, this);
    if (!window)
        return false;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    // A screen reader starts on what the display shows.
    SetFocus(Control(PrintLineId));
    return true;
}

void DisplayWindow::CreateControls()
{
    uiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    lineFont = CellPainter::PrintFont(14);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    auto make = [&](const char* cls, const std::string& text, DWORD style, int id, HFONT font) {
        HWND h = CreateWindowExA(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    for (int cell = 0; cell < CellLayout::StatusCells + options.textCells; ++cell) {
        std::string name = cell < CellLayout::StatusCells ? "S" + std::to_string(cell + 1)
                                                          : std::to_string(cell - CellLayout::StatusCells + 1);
        make("BUTTON", name, button, FirstRoutingId + cell, uiFont);
    }
    make("STATIC", "Print:", SS_LEFT, PrintLabelId, uiFont);
    make("EDIT", "", WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, PrintLineId, lineFont);
    for (int k = 0; k < CellLayout::Keys; ++k)
        make("BUTTON", KeyName(k), button, FirstKeyId + k, uiFont);
    make("BUTTON", "Switch off", button, PowerId, uiFont);
    make("STATIC", "", SS_LEFT | SS_NOPREFIX, StatusLineId, uiFont);
}

void DisplayWindow::Place()
{
    RECT client;
    GetClientRect(window, &client);
    CellLayout layout(client.right, options.textCells);
    auto put = [&](int id, const CellLayout::Rect& r) { MoveWindow(Control(id), r.left, r.top, r.width, r.height, TRUE); };
    for (int cell = 0; cell < CellLayout::StatusCells + options.textCells; ++cell)
        put(FirstRoutingId + cell, layout.RoutingKey(cell));
    put(PrintLabelId, layout.PrintLabel());
    put(PrintLineId, layout.PrintLine());
    for (int k = 0; k < CellLayout::Keys; ++k)
        put(FirstKeyId + k, layout.Key(k));
    put(PowerId, layout.Power());
    put(StatusLineId, layout.StatusLine());
    InvalidateRect(window, nullptr, TRUE);
}

std::vector<uint8_t> DisplayWindow::CellsShown() const
{
    if (!display.On())
        return std::vector<uint8_t>(static_cast<size_t>(CellLayout::StatusCells + options.textCells), 0);
    return display.Simulator().Cells();
}

// What changed since the last look goes to the screen: the cells first,
// painted at once, then the print line and the status line, so that a
// helper who reads the print line finds the dots already drawn.
void DisplayWindow::Show()
{
    std::vector<uint8_t> cells = CellsShown();
    if (cells != shown) {
        shown = cells;
        RECT client;
        GetClientRect(window, &client);
        CellLayout layout(client.right, options.textCells);
        RECT band = { 0, layout.CellsTop(), client.right, CellPainter::Bottom(layout) };
        InvalidateRect(window, &band, FALSE);
        UpdateWindow(window);
    }
    std::string print;
    for (size_t i = CellLayout::StatusCells; i < cells.size(); ++i)
        print += static_cast<char>(ComputerBrailleCharacter(cells[i]));
    if (print != shownPrint) {
        shownPrint = print;
        SetWindowTextA(Control(PrintLineId), print.c_str());
    }
    int modelCode = DisplaySimulator::ModelCode(options.textCells);
    std::string status = problem.empty()
                             ? LinkStatus::Line(options.port, options.textCells, modelCode, display.Facts())
                             : options.port + " | " + problem;
    if (!keys.Pending().empty())
        status += " | " + keys.Pending();
    if (status != shownStatus) {
        shownStatus = status;
        SetWindowTextA(Control(StatusLineId), status.c_str());
    }
}

void DisplayWindow::Tick()
{
    display.Poll();
    const DisplaySimulator& d = display.Simulator();
    KeyScript::Progress progress;
    progress.nowMs = static_cast<long>(GetTickCount() - started);
    progress.cellPackets = d.Count(HostStreamDecoder::Message::Cells);
    progress.cellChanges = d.CellChanges();
    progress.queries = d.Count(HostStreamDecoder::Message::Query);
    while (const KeyScript::Step* step = script.Due(progress)) {
        trace.Note("script line " + std::to_string(step->line) + ": " + step->text);
        if (step->quit)
            PostMessageA(window, WM_CLOSE, 0, 0);
        else
            display.Send(step->bytes);
    }
    Show();
}

void DisplayWindow::SendKeys(const std::vector<uint8_t>& packet, const std::string& what)
{
    if (!display.On())
        return; // a display that is off sends nothing
    trace.Note(what);
    display.Send(packet);
    Show();
}

void DisplayWindow::TogglePower()
{
    bool on = !display.On();
    trace.Note(on ? "power on: RTS up, the display starts afresh" : "power off: RTS down, cells blank, no answers");
    display.SetPower(on);
    SetWindowTextA(Control(PowerId), on ? "Switch off" : "Switch on");
    Show();
}

void DisplayWindow::Command(int id)
{
    if (id >= FirstRoutingId && id < FirstRoutingId + CellLayout::StatusCells + options.textCells) {
        int cell = id - FirstRoutingId;
        bool status = cell < CellLayout::StatusCells;
        int n = status ? cell + 1 : cell - CellLayout::StatusCells + 1;
        uint8_t r = status ? KeyMap::StatusRoutingByte(n) : KeyMap::TextRoutingByte(n);
        SendKeys(DisplaySimulator::RoutingPacket(r),
                 std::string("clicked routing key over ") + (status ? "status" : "text") + " cell " + std::to_string(n));
    } else if (id >= FirstKeyId && id < FirstKeyId + CellLayout::Keys) {
        bool first = false;
        uint8_t mask = 0;
        KeyMap::KeyBit(KeyLetters[id - FirstKeyId], first, mask);
        SendKeys(DisplaySimulator::KeyPacket(first ? mask : 0, first ? 0 : mask), "clicked " + KeyName(id - FirstKeyId));
    } else if (id == PowerId) {
        TogglePower();
    }
}

bool DisplayWindow::Shortcut(const MSG& m)
{
    if (m.hwnd != window && !IsChild(window, m.hwnd))
        return false;
    bool pending = !keys.Pending().empty();
    char c = 0;
    if (m.message == WM_KEYDOWN && m.wParam == VK_RETURN && pending)
        c = '\r';
    else if (m.message == WM_CHAR && m.wParam < 0x80)
        c = static_cast<char>(m.wParam);
    else
        return false;
    // Control characters stay the dialog's and the edit control's (Ctrl-C
    // copies the print line), but for Backspace and Enter while a chord or
    // a cell number is being typed.
    bool letter = c > ' ' && c < 0x7F;
    if (!letter && !(pending && (c == '\r' || c == '\b')))
        return false;
    bool first = false;
    uint8_t mask = 0;
    if (!pending && !KeyMap::KeyBit(c, first, mask) && c != '+' && c != '/' && c != 's')
        return false;
    KeyMap::Action a = keys.Press(c);
    if (a.kind == KeyMap::Action::Packet && display.On()) {
        trace.Note(std::string("typed ") + (c == '\r' ? "Enter" : std::string(1, c)));
        display.Send(a.bytes);
    }
    Show();
    return true;
}

int DisplayWindow::Run()
{
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (Shortcut(m))
            continue;
        // WM_KEYDOWN of a letter passes, so that TranslateMessage makes
        // the WM_CHAR that Shortcut reads.
        if (IsDialogMessageA(window, &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}

LRESULT CALLBACK DisplayWindow::Procedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<DisplayWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window = handle;
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<DisplayWindow*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam) : DefWindowProcA(handle, message, wParam, lParam);
}

LRESULT DisplayWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateControls();
        started = GetTickCount();
        SetTimer(window, PollTimer, PollMs, nullptr);
        Show();
        return 0;
    case WM_SIZE:
        Place();
        return 0;
    case WM_TIMER:
        if (wParam == PollTimer)
            Tick();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            Command(LOWORD(wParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        CellPainter::Paint(dc, CellLayout(client.right, options.textCells), CellsShown());
        EndPaint(window, &ps);
        return 0;
    }
    case WM_CLOSE:
        if (!options.width)
            placement.Save(window);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        KillTimer(window, PollTimer);
        if (lineFont)
            DeleteObject(lineFont);
        PostQuitMessage(problem.empty() ? 0 : 2);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
