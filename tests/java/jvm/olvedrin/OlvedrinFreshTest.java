/*
 * @test
 * @summary Olvedrin's registries freshly loaded: exact complaints, the complaint limit
 * @requires vm.gc != "Epsilon" & vm.opt.DisableExplicitGC != true
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.*
 * @run junit OlvedrinFreshTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.Expected;

/** The registries of a freshly loaded Olvedrin, with the exact output of each child. */
class OlvedrinFreshTest {
    private static final String B = "Olvedrin.cpp";
    private static final String GLOBAL_BUG =
            "zol.share.TestBug: Requested globalReferences[] element is NULL, possible wrong index is passed\n";
    private static final String WEAK_BUG =
            "zol.share.TestBug: Requested weakReferences[] element is NULL, possible wrong index is passed\n";

    private static ChildJvm.Result run(String... args) {
        ChildJvm.Result r = new ChildJvm(OlvedrinFreshMain.class).args(args).run();
        assertEquals(0, r.exitCode, r.toString());
        return r;
    }

    private static String wrongGlobal(int index) {
        return Expected.complaint(B, 92, "globalReferences[" + index + "] = NULL, possible wrong index is passed\n");
    }

    private static String wrongWeak(int index) {
        return Expected.complaint(B, 192, "weakReferences[" + index + "] = NULL, possible wrong index is passed\n");
    }

    @Test
    void freshTablesHandOutTheLowestFreeSlotsSilently() {
        assertEquals("global 0 1 2 3 4 -1 | count 50: -1\n"
                + "weak 0 1 -1 | count 100: -1 | count 1 after deleting 1: -1 | count 2: 1\n",
                run("fresh").stdout);
    }

    @Test
    void everyFailureComplainsOnItsLineAndThrows() {
        String expected = Expected.firstComplaint(B, 92,
                        "globalReferences[3] = NULL, possible wrong index is passed\n")
                + "delete global 3 before any create -> " + GLOBAL_BUG
                + wrongWeak(0) + "delete weak 0 before any create -> " + WEAK_BUG
                + Expected.complaint(B, 46, "malloc return NULL\n") + "create global, count -1 -> -1\n"
                + Expected.complaint(B, 145, "malloc return NULL\n") + "create weak, count -1 -> -1\n"
                + "create global -> 0\n"
                + "delete global 0 -> done\n"
                + wrongGlobal(0) + "delete global 0 again -> " + GLOBAL_BUG
                + wrongGlobal(5) + "delete global 5 -> " + GLOBAL_BUG
                + wrongGlobal(-1) + "delete global -1 -> " + GLOBAL_BUG
                + Expected.complaint(B, 66, "NewGlobalRef return NULL\n")
                + "create global of null -> zol.share.TestJNIError: NewGlobalRef return NULL\n"
                + "create global -> 0\n"
                + Expected.complaint(B, 166, "NewWeakGlobalRef return NULL\n")
                + "create weak of null -> zol.share.TestJNIError: NewWeakGlobalRef return NULL\n"
                + "create weak -> 0\n"
                + "collected -> true\n"
                + Expected.complaint(B, 201, "TEST BUG: Weak reference was collected\n")
                + "delete weak 0 -> zol.share.TestBug: TEST BUG: Weak reference was collected\n"
                + "create weak -> 0\n"
                + "delete weak 0 -> done\n"
                + wrongWeak(0) + "delete weak 0 again -> " + WEAK_BUG
                + Expected.complaint(B, 114, "NewLocalRef return NULL\n")
                + "local of null -> zol.share.TestJNIError: NewLocalRef return NULL\n"
                + "unlock called -> false\n";
        assertEquals(expected, run("failures").stdout);
    }

    @Test
    void complaintsStopAfterTheNoticeInPlaceOfThe665th() {
        StringBuilder expected = new StringBuilder(Expected.firstComplaint(B, 92,
                "globalReferences[0] = NULL, possible wrong index is passed\n"));
        for (int i = 1; i < 664; i++) {
            expected.append(wrongGlobal(i));
        }
        expected.append("# ...\n# ERROR: too many complains, giving up to save disk space (CR 6341460)\n"
                + "# Please rerun the test with -verbose option to listen to the entire song\n");
        expected.append("deletes 800\n");
        String out = run("limit", "800").stdout;
        assertEquals(expected.toString(), out);
        assertEquals(665, out.split("# ERROR: ", -1).length - 1);
    }
}
