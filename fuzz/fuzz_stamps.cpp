// Any dateStamps.txt either reads into ten slots that write back and read again the same, or
// fails with a code.
#include "FuzzSupport.h"

#include "import/StampCollection.h"
#include "platform/Failure.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = scratchDirectory() + QStringLiteral("/dateStamps.txt");
    writeWholeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        StampCollection::Stamp first[10];
        {
            StampCollection stamps(path);
            for (std::int16_t i = 0; i < 10; ++i)
                first[i] = stamps.getStamp(i);
        }
        StampCollection again(path);
        for (std::int16_t i = 0; i < 10; ++i) {
            if (again.getStamp(i) != first[i])
                std::abort();
        }
    } catch (const Failure&) {
    }
    return 0;
}
