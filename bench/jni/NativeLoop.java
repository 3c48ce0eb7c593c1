import java.util.Arrays;
import java.util.function.IntUnaryOperator;
import zol.stress.jni.JNIter004;
import zol.stress.jni.JNIter005;

/**
 * Calls one native of the suite over and over in a plain loop. CallTimes loads
 * this class once per library directory, so that the same loop, compiled
 * apart, runs against a library and against its bare native.
 */
public final class NativeLoop implements IntUnaryOperator {
    private final String what;
    private final String text;
    private final JNIter004 strings;
    private final char[] sum;
    private final JNIter005 exceptions;
    private final Throwable thrown = new RuntimeException("thrown by except");

    /**
     * what: CheckSum, CheckCompare, except or JavaDigest (CheckSum's digest in
     * plain Java). With check, the natives' answers are checked against plain
     * Java first.
     */
    public NativeLoop(String what, String text, boolean check) {
        this.what = what;
        this.text = text;
        this.strings = what.startsWith("Check") ? new JNIter004() : null;
        // CheckCompare is handed the digest that it computes itself, so every
        // element matches, as in the suite's short strings.
        this.sum = what.equals("CheckCompare") ? compareDigest(text) : null;
        this.exceptions = what.equals("except") ? new JNIter005() : null;
        if (check && what.equals("CheckSum") && !Arrays.equals(strings.CheckSum(text), javaDigest(text))) {
            throw new IllegalStateException("CheckSum's digest differs from plain Java's");
        }
        if (check && what.equals("CheckCompare") && !strings.CheckCompare(text, sum, Integer.MAX_VALUE)) {
            throw new IllegalStateException("CheckCompare differs from plain Java");
        }
    }

    /** Makes calls calls; the result only keeps them from being optimised away. */
    @Override
    public int applyAsInt(int calls) {
        int sink = 0;
        switch (what) {
            case "CheckSum":
                for (int i = 0; i < calls; i++) {
                    sink += strings.CheckSum(text)[0];
                }
                break;
            case "CheckCompare":
                for (int i = 0; i < calls; i++) {
                    sink += strings.CheckCompare(text, sum, Integer.MAX_VALUE) ? 1 : 0;
                }
                break;
            case "except":
                for (int i = 0; i < calls; i++) {
                    try {
                        exceptions.except(thrown);
                    } catch (Exception e) {
                        sink += e.getMessage().length();
                    }
                }
                break;
            case "JavaDigest":
                for (int i = 0; i < calls; i++) {
                    sink += javaDigest(text)[0];
                }
                break;
            default:
                throw new IllegalArgumentException(what);
        }
        return sink;
    }

    /** CheckSum's digest for a string whose characters are all in U+0001..U+007F. */
    static char[] javaDigest(String s) {
        byte[] digest = new byte[16];
        for (int i = 0; i < s.length(); i++) {
            digest[i & 15] += (byte) s.charAt(i);
        }
        return units(digest);
    }

    /** CheckCompare's digest: every position adds the byte at its position modulo 16. */
    static char[] compareDigest(String s) {
        byte[] digest = new byte[16];
        for (int i = 0; i < s.length(); i++) {
            digest[i & 15] += (byte) s.charAt(i & 15);
        }
        return units(digest);
    }

    private static char[] units(byte[] digest) {
        char[] units = new char[8];
        for (int m = 0; m < 8; m++) {
            units[m] = (char) ((digest[2 * m] & 0xff) | (digest[2 * m + 1] & 0xff) << 8);
        }
        return units;
    }
}
