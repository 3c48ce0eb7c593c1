import java.lang.ref.WeakReference;
import zol.share.ReferringObject;
import zoltest.Collect;

/**
 * Registry scenarios that need a freshly loaded Olvedrin: its tables and its
 * complaint count start anew. Each step prints what Java saw, so the child's
 * whole stdout, the natives' complaints in between, can be compared exactly.
 * args[0]: "fresh", "failures", or "limit" with the number of failed deletes.
 */
public final class OlvedrinFreshMain {
    private static final ReferringObject RO = new ReferringObject();

    private OlvedrinFreshMain() {}

    private static void say(String line) {
        System.out.println(line);
        System.out.flush();
    }

    private interface Step {
        Object run() throws Exception;
    }

    /** Runs a step and prints its result or the exception it threw. */
    private static void step(String what, Step step) {
        String outcome;
        try {
            outcome = String.valueOf(step.run());
        } catch (Throwable t) {
            outcome = t.getClass().getName() + ": " + t.getMessage();
        }
        say(what + " -> " + outcome);
    }

    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "fresh":
                fresh();
                break;
            case "failures":
                failures();
                break;
            case "limit":
                int deletes = Integer.parseInt(args[1]);
                for (int i = 0; i < deletes; i++) {
                    try {
                        RO.deleteJNIGlobalReferenceNative(i);
                        say("delete " + i + " did not throw");
                    } catch (zol.share.TestBug expected) {
                        // Each failed delete is one complaint.
                    }
                }
                say("deletes " + deletes);
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
    }

    private static void fresh() {
        Object[] kept = new Object[7];
        StringBuilder global = new StringBuilder("global");
        for (int i = 0; i < 6; i++) {
            kept[i] = new Object();
            global.append(' ').append(RO.createJNIGlobalReferenceNative(kept[i], 5));
        }
        // A larger count than the first call's reaches no further than the table.
        global.append(" | count 50: ").append(RO.createJNIGlobalReferenceNative(kept[6], 50));
        say(global.toString());
        StringBuilder weak = new StringBuilder("weak");
        for (int i = 0; i < 3; i++) {
            weak.append(' ').append(RO.createJNIWeakReferenceNative(kept[i], 2));
        }
        weak.append(" | count 100: ").append(RO.createJNIWeakReferenceNative(kept[3], 100));
        RO.deleteJNIWeakReferenceNative(1);
        weak.append(" | count 1 after deleting 1: ").append(RO.createJNIWeakReferenceNative(kept[3], 1));
        weak.append(" | count 2: ").append(RO.createJNIWeakReferenceNative(kept[3], 2));
        say(weak.toString());
    }

    private static void failures() throws Exception {
        Object kept = new Object();
        step("delete global 3 before any create", () -> { RO.deleteJNIGlobalReferenceNative(3); return "done"; });
        step("delete weak 0 before any create", () -> { RO.deleteJNIWeakReferenceNative(0); return "done"; });
        step("create global, count -1", () -> RO.createJNIGlobalReferenceNative(kept, -1));
        step("create weak, count -1", () -> RO.createJNIWeakReferenceNative(kept, -1));
        step("create global", () -> RO.createJNIGlobalReferenceNative(kept, 5));
        step("delete global 0", () -> { RO.deleteJNIGlobalReferenceNative(0); return "done"; });
        step("delete global 0 again", () -> { RO.deleteJNIGlobalReferenceNative(0); return "done"; });
        step("delete global 5", () -> { RO.deleteJNIGlobalReferenceNative(5); return "done"; });
        step("delete global -1", () -> { RO.deleteJNIGlobalReferenceNative(-1); return "done"; });
        step("create global of null", () -> RO.createJNIGlobalReferenceNative(null, 5));
        step("create global", () -> RO.createJNIGlobalReferenceNative(kept, 5));
        step("create weak of null", () -> RO.createJNIWeakReferenceNative(null, 5));
        WeakReference<Object> watch = doomedWeak();
        step("collected", () -> Collect.untilCleared(watch));
        step("delete weak 0", () -> { RO.deleteJNIWeakReferenceNative(0); return "done"; });
        step("create weak", () -> RO.createJNIWeakReferenceNative(kept, 5));
        step("delete weak 0", () -> { RO.deleteJNIWeakReferenceNative(0); return "done"; });
        step("delete weak 0 again", () -> { RO.deleteJNIWeakReferenceNative(0); return "done"; });
        step("local of null", () -> {
            RO.createJNILocalReferenceNative(null, RO, RO);
            return "returned";
        });
        step("unlock called", () -> RO.unlockedAt != 0);
    }

    /** A weak registry entry, in slot 0, for an object that nothing else holds. */
    private static WeakReference<Object> doomedWeak() {
        Object doomed = new Object();
        step("create weak", () -> RO.createJNIWeakReferenceNative(doomed, 5));
        return new WeakReference<>(doomed);
    }
}
