// The load of pravellon itself. Until the load that runs on the cores is
// built, tuning on a real processor is refused here, before the first step
// changes anything: a search without a load would find every voltage stable.

#include "hw/load.h"

#include "hw/exception_with_message.h"

void prepareLoad(const std::vector<std::int32_t>& /*cpus*/)
{
    throw ExceptionWithMessage("this build of pravellon has no load to tune with");
}

void startLoad(const std::vector<std::int32_t>& /*cpus*/) {}

std::vector<std::int32_t> stopLoad()
{
    return {};
}
