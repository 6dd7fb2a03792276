#include "BrailleDll.h"

namespace {

// One BrlTimer reads at most 80 bytes, which hold at most 26 reports; more
// than that between two reads of the queue are dropped.
enum { QueueSize = 32 };
struct Key {
    unsigned code;
    unsigned argument;
};
Key queue[QueueSize];
int queueHead;
int queueCount;

// GetProcAddress gives a generic function pointer; going through
// void (*)(void) tells the compiler the conversion to the export's own type,
// declared in brlwin32.h, is intended.
template <typename Proc> void Take(FARPROC found, Proc& slot)
{
    slot = reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(found));
}

} // namespace

BrailleDll::BrailleDll()
    : Init(0), Terminate(0), Display(0), DisplayStatus(0), Clear(0), Refresh(0), Sleep(0), Timer(0), module(NULL)
{
}

bool BrailleDll::Load(const char* path, DWORD& error, const char*& missingExport)
{
    module = LoadLibraryA(path);
    if (module == NULL) {
        error = GetLastError();
        return false;
    }
    const char* const names[] = { "BrlInit", "BrlTerminate", "BrlDisplay", "BrlDisplayStatus", "BrlClear",
                                  "BrlRefresh", "BrlSleep", "BrlTimer" };
    FARPROC found[8];
    for (int i = 0; i < 8; ++i) {
        found[i] = GetProcAddress(module, names[i]);
        if (found[i] == NULL) {
            missingExport = names[i];
            FreeLibrary(module);
            module = NULL;
            return false;
        }
    }
    Take(found[0], Init);
    Take(found[1], Terminate);
    Take(found[2], Display);
    Take(found[3], DisplayStatus);
    Take(found[4], Clear);
    Take(found[5], Refresh);
    Take(found[6], Sleep);
    Take(found[7], Timer);
    return true;
}

void BRLCALLBACK BrailleDll::OnKey(unsigned int code, unsigned int argument)
{
    if (queueCount == QueueSize)
        return;
    Key& k = queue[(queueHead + queueCount) % QueueSize];
    k.code = code;
    k.argument = argument;
    ++queueCount;
}

bool BrailleDll::NextKey(unsigned& code, unsigned& argument)
{
    if (queueCount == 0)
        return false;
    code = queue[queueHead].code;
    argument = queue[queueHead].argument;
    queueHead = (queueHead + 1) % QueueSize;
    --queueCount;
    return true;
}

void BrailleDll::DropKeys() { queueHead = queueCount = 0; }
