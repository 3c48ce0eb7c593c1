import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import zoltest.ChildJvm;

@Timeout(120)
class VendroskelTest {
    @Test
    void enteringTheTrapPrintsOneLineAndExitsWithOne() {
        ChildJvm.Result r = new ChildJvm("VendroskelMain").run();
        assertEquals(1, r.exitCode, r.toString());
        assertEquals("should not reach here\n", r.stdout, r.toString());
        assertEquals("", r.stderr, r.toString());
    }
}
