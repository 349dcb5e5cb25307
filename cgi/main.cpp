#include "state.h"

int main()
{
    return s2n_request();
}
