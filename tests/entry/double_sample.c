/* Double arithmetic of each kind, for the test of the check of a 32-bit
   module's floating-point code: built once for SSE2 and once for x87. */
double blend(double from, double to, double amount, double scale);

double blend(double from, double to, double amount, double scale)
{
    return (from + (to - from) * amount) / scale;
}
