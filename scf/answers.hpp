// Answers of the operator in the interactive modes, read from the console.
//
// An answer is a line of list-directed values (blanks or commas between
// them, exponents with E or D).  End of input stops the run with a message
// naming the question, so that a batch job whose answer file has run out
// ends instead of waiting; an answer that is not a number stops it too.
#pragma once

#include <string_view>
#include <vector>

namespace scf {

// The question is written on the console, then `count` numbers are taken
// from as many answer lines as needed.  `why`, when given, says why the
// question is asked: the stop at end of input carries it.
std::vector<double> ask_reals(std::string_view question, int count, std::string_view why = {});
double ask_real(std::string_view question, std::string_view why = {});
// A whole number.
int ask_integer(std::string_view question, std::string_view why = {});

}  // namespace scf
