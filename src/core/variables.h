// %NAME% references, as configured paths and options write them: JAVA_HOME stands for the Java home
// in use, any other name for its environment value. Below every stage that expands them (the runtime
// search, option assembly), so that none of them reaches into another for it.
#pragma once

#include <functional>
#include <string>

namespace stub {

// Replaces %NAME% references: JAVA_HOME by java_home, any other name by its environment value. An
// undefined or empty name contributes nothing; a lone '%' without a closing one is dropped.
std::string ExpandVariables(const std::string& text, const std::string& java_home,
                            const std::function<std::string(const std::string&)>& getenv);

}  // namespace stub
