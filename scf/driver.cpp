#include "scf/driver.hpp"

namespace scf {

// The self-consistent iteration is not built yet: the driver returns at once.
void DMS_00_1(int, int, int, int, int, lib::CIMat, lib::CIVec, lib::CIMat, lib::IVec, double, double, double, double,
              double, lib::CVec, lib::CMat, lib::CMat, lib::Mat, lib::Mat, lib::Mat, lib::Mat, lib::Mat, lib::Vec,
              lib::Vec, lib::Vec, lib::Vec, const std::array<std::string, 30>&, lib::Mat, lib::Mat, lib::Vec,
              lib::Vec, lib::Mat, lib::Mat, lib::Mat, io::Unit&, io::Unit&) {}

}  // namespace scf
