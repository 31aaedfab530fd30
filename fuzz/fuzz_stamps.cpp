// Any dateStamps.txt either fails to read with a code, or reads and is written back the same
// text twice.
#include "FuzzSupport.h"

#include "import/StampCollection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = writeInput(QStringLiteral("dateStamps.txt"), data, size);
    checkRoundTrip(path, [&] { StampCollection{path}; }); // written back as the list goes
    return 0;
}
