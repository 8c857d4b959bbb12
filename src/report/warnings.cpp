#include "report/warnings.h"

#include <iostream>

void warn(Warnings& warnings, const std::string& text)
{
    std::cerr << "WARNING: " << text << std::endl;
    warnings.push_back(text);
}
