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

} // namespace

BrailleDll::BrailleDll() : DriverExports() {}

bool BrailleDll::Load(const char* path, DWORD& error, const char*& missingExport)
{
    return LoadDriverExports(this, path, &missingExport, &error) != 0;
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
