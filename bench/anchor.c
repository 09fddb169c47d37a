/* The yardstick for a whole run of fare: the same dialogue in the plainest
   C, scanf and printf. It prices by the same rule (through long double, as
   fare does on x86-64) so that both print the same bytes, and leaves out
   what fare adds: SIGPIPE handling, flushed prompts, the check that the
   report was written and the key wait, which fare skips too when there is
   no terminal. */

#include <stdio.h>

int main(void) {
    double length = 0.0;
    double travel_days = 0.0;
    printf("Ingresa longitud\n");
    scanf("%lf", &length);
    printf("Ingresa dias de viaje\n");
    scanf("%lf", &travel_days);

    const float cost = (float)((long double)length * 2.5L);
    if (travel_days > 7.0 && length > 800.0) {
        const float discount = (float)((long double)cost * (long double)0.3);
        const float total_price = (float)((double)cost - (double)discount);
        printf("el costo es %f \n", (double)cost);
        printf("el descuento es de %f \n", (double)discount);
        printf("el precio total es %f ", (double)total_price);
    } else {
        printf("el costo es %f ", (double)cost);
    }
    return 0;
}
